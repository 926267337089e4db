#include "Source/Desktop/WantedListXmlSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Source/Base/Formatting.h"

namespace Corvalle::Desktop {

std::optional<std::uint32_t> ParseWantedListId(const QString& text) {
  QStringView digits = QStringView(text).trimmed();
  if (digits.startsWith(QLatin1Char('+'))) {
    digits = digits.mid(1);
  }
  return Utilities::ParseDecimalNumber(digits.toLatin1().toStdString());
}

WantedListXmlSheet::WantedListXmlSheet(QWidget* parent)
    : QDialog(parent), wantedListIdTextField_(new QLineEdit(this)) {
  setObjectName(QStringLiteral("createWantedListXmlSheet"));
  setWindowTitle(QStringLiteral("Wanted List XML"));
  setWindowModality(Qt::WindowModal);
  auto* prompt = new QLabel(
      QStringLiteral("Number of the existing wanted list on the marketplace to add these items "
                     "to:"),
      this);
  prompt->setWordWrap(true);
  wantedListIdTextField_->setObjectName(QStringLiteral("wantedListIdTextField"));
  auto* copyButton = new QPushButton(QStringLiteral("Copy"), this);
  copyButton->setObjectName(QStringLiteral("copyButton"));
  copyButton->setDefault(true);
  auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  connect(copyButton, &QPushButton::clicked, this, &WantedListXmlSheet::copyRequested);
  connect(cancelButton, &QPushButton::clicked, this, &WantedListXmlSheet::cancelRequested);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancelButton);
  buttons->addWidget(copyButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addWidget(wantedListIdTextField_);
  layout->addLayout(buttons);
}

std::optional<std::uint32_t> WantedListXmlSheet::wantedListId() const {
  return ParseWantedListId(wantedListIdTextField_->text());
}

}  // namespace Corvalle::Desktop
