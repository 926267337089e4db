#include "Source/Desktop/StoreListDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "Source/Base/BrickLink/StoreInformation.h"

namespace Corvalle::Desktop {

namespace {

constexpr int kStoreRole = Qt::UserRole;

}  // namespace

std::optional<std::uint32_t> ParseStoreNumber(const QString& text) {
  // Trimmed here: the field takes any blank Qt knows, not only ASCII ones.
  return BrickLink::ParseStoreNumberOrPage(text.trimmed().toStdString());
}

StoreListDialog::StoreListDialog(const QString& title, const QString& explanation,
                                 const std::vector<std::uint32_t>& stores_, QWidget* parent)
    : QDialog(parent),
      storeList_(new QListWidget(this)),
      storeNumberField_(new QLineEdit(this)),
      addButton_(new QPushButton(QStringLiteral("Add"), this)),
      removeButton_(new QPushButton(QStringLiteral("Remove"), this)) {
  setWindowTitle(title);
  auto* text = new QLabel(explanation, this);
  text->setWordWrap(true);
  text->setTextFormat(Qt::PlainText);
  storeList_->setObjectName(QStringLiteral("storeList"));
  storeList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  storeNumberField_->setObjectName(QStringLiteral("storeNumberField"));
  storeNumberField_->setPlaceholderText(QStringLiteral("Store number or page address"));
  addButton_->setObjectName(QStringLiteral("addButton"));
  removeButton_->setObjectName(QStringLiteral("removeButton"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("dialogButtons"));

  connect(addButton_, &QPushButton::clicked, this, &StoreListDialog::addStore);
  connect(removeButton_, &QPushButton::clicked, this, &StoreListDialog::removeSelectedStores);
  connect(storeList_, &QListWidget::itemSelectionChanged, this, &StoreListDialog::updateButtons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* entry = new QHBoxLayout;
  entry->addWidget(storeNumberField_, 1);
  entry->addWidget(addButton_);
  entry->addWidget(removeButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(storeList_, 1);
  layout->addLayout(entry);
  layout->addWidget(buttons);
  resize(380, 300);

  for (const std::uint32_t store : stores_) {
    addEntry(store);
  }
  updateButtons();
}

std::vector<std::uint32_t> StoreListDialog::stores() const {
  std::vector<std::uint32_t> result;
  for (int row = 0; row < storeList_->count(); ++row) {
    result.push_back(storeList_->item(row)->data(kStoreRole).toUInt());
  }
  return result;
}

void StoreListDialog::addStore() {
  const std::optional<std::uint32_t> store = ParseStoreNumber(storeNumberField_->text());
  if (!store) {
    QApplication::beep();
    emit storeNumberRejected();
    return;
  }
  storeList_->clearSelection();
  for (int row = 0; row < storeList_->count(); ++row) {
    if (storeList_->item(row)->data(kStoreRole).toUInt() == *store) {
      storeList_->item(row)->setSelected(true);
      storeNumberField_->clear();
      return;
    }
  }
  addEntry(*store);
  storeNumberField_->clear();
}

void StoreListDialog::keyPressEvent(QKeyEvent* event) {
  // Return after typing a number adds the store, instead of closing the dialog without it.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && focusWidget() == storeNumberField_ &&
      !storeNumberField_->text().trimmed().isEmpty()) {
    addStore();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void StoreListDialog::removeSelectedStores() {
  for (QListWidgetItem* item : storeList_->selectedItems()) {
    delete item;
  }
  updateButtons();
}

void StoreListDialog::addEntry(std::uint32_t store) {
  // Only stores whose pages a search of this session read have a name.
  const std::string& name = BrickLink::StoreInformation(store).Name();
  QString text = QString::number(store);
  if (name != BrickLink::StoreInformation::kUnknownStoreName) {
    text += QStringLiteral(" (%1)").arg(QString::fromStdString(name));
  }
  auto* item = new QListWidgetItem(text, storeList_);
  item->setData(kStoreRole, store);
}

void StoreListDialog::updateButtons() {
  removeButton_->setEnabled(!storeList_->selectedItems().isEmpty());
}

}  // namespace Corvalle::Desktop
