#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>

class QLineEdit;

namespace Corvalle::Desktop {

// The number of an existing wanted list as the user typed it: blanks and line breaks around it,
// an optional "+", then decimal digits only, at most 4294967295. Anything else, a sign "-"
// included, is no number: cutting a larger or negative number down would silently name another
// list.
std::optional<std::uint32_t> ParseWantedListId(const QString& text);

// The sheet that asks for the number of the wanted list that a store's XML is to add to: a
// prompt, the number field, and Copy and Cancel buttons. The sheet only reports the buttons;
// whoever opened it decides what they do. Window-modal over its parent; main thread only.
class WantedListXmlSheet : public QDialog {
  Q_OBJECT

 public:
  explicit WantedListXmlSheet(QWidget* parent = nullptr);

  QLineEdit* wantedListIdTextField() const { return wantedListIdTextField_; }
  // What the field holds as a wanted-list number; nothing when it holds no number.
  std::optional<std::uint32_t> wantedListId() const;

 signals:
  void copyRequested();
  void cancelRequested();

 private:
  QLineEdit* wantedListIdTextField_;
};

}  // namespace Corvalle::Desktop
