#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace Corvalle::Desktop {

// A store as the user names it: its number, or the address of its page, whose
// "store.asp?sID=NUMBER" carries the number. Blanks around it are fine; 0, a number beyond 32
// bits and any other text name no store.
std::optional<std::uint32_t> ParseStoreNumber(const QString& text);

// A small dialog that edits one list of store numbers, such as the stores to avoid: the list,
// a field with an Add button (Return in the field adds too), a Remove button for the selected
// entries, and OK and Cancel. A store whose name a search of this session learnt shows it after
// its number. The caller reads stores() once the dialog was accepted; the dialog itself saves
// nothing. Main thread only.
class StoreListDialog : public QDialog {
  Q_OBJECT

 public:
  StoreListDialog(const QString& title, const QString& explanation,
                  const std::vector<std::uint32_t>& stores_, QWidget* parent = nullptr);

  // The stores in the order they were added.
  std::vector<std::uint32_t> stores() const;

  QListWidget* storeList() const { return storeList_; }
  QLineEdit* storeNumberField() const { return storeNumberField_; }
  QPushButton* addButton() const { return addButton_; }
  QPushButton* removeButton() const { return removeButton_; }

 public slots:
  // Adds the store the field names and clears the field; a store already listed is selected
  // instead. Anything else beeps and keeps the text for correcting.
  void addStore();
  void removeSelectedStores();

 signals:
  // The field named no store (the system beeped).
  void storeNumberRejected();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void addEntry(std::uint32_t store);
  void updateButtons();

  QListWidget* storeList_;
  QLineEdit* storeNumberField_;
  QPushButton* addButton_;
  QPushButton* removeButton_;
};

}  // namespace Corvalle::Desktop
