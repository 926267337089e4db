#include "Source/Desktop/StoreTableCellView.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "Source/Desktop/HyperlinkTextField.h"
#include "Source/Desktop/StoreWrapper.h"

namespace Corvalle::Desktop {

StoreTableCellView::StoreTableCellView(const StoreWrapper& store,
                                       const QPersistentModelIndex& outlineRow, QWidget* parent)
    : QWidget(parent),
      storeLink_(new HyperlinkTextField(this)),
      countryLabel_(new QLabel(this)),
      shippingLabel_(new QLabel(this)),
      xmlButton_(new QPushButton(QStringLiteral("XML"), this)),
      row_(outlineRow) {
  setObjectName(QStringLiteral("StoreGroup"));
  setAutoFillBackground(true);
  setFixedHeight(kRowHeight);
  storeLink_->setObjectName(QStringLiteral("storeLink"));
  storeLink_->setGeometry(0, 0, 10, kRowHeight);
  storeLink_->assignStoreName(store.store(), store.storeUrl());
  QFont labelFont = countryLabel_->font();
  labelFont.setPixelSize(12);
  countryLabel_->setFont(labelFont);
  countryLabel_->setObjectName(QStringLiteral("countryLabel"));
  countryLabel_->setTextFormat(Qt::PlainText);
  countryLabel_->setText(QStringLiteral(" (%1)").arg(store.country()));
  shippingLabel_->setFont(labelFont);
  shippingLabel_->setObjectName(QStringLiteral("shippingLabel"));
  shippingLabel_->setTextFormat(Qt::PlainText);
  if (store.shipping().isEmpty()) {
    shippingLabel_->hide();
  } else {
    shippingLabel_->setText(QStringLiteral(", shipping %1").arg(store.shipping()));
  }
  xmlButton_->setObjectName(QStringLiteral("xmlButton"));
  xmlButton_->setToolTip(QStringLiteral("Copy this store's part of the wanted list as XML"));
  xmlButton_->setFixedHeight(kRowHeight - 2);
  connect(xmlButton_, &QPushButton::clicked, this, [this] { emit createWantedListXml(this); });
  layOut();
}

QSize StoreTableCellView::sizeHint() const {
  return {xmlButton_->geometry().left() + xmlButton_->sizeHint().width(), kRowHeight};
}

void StoreTableCellView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layOut();
}

void StoreTableCellView::layOut() {
  storeLink_->setGeometry(0, 0, storeLink_->width(), height());
  const int labelWidth = countryLabel_->sizeHint().width();
  countryLabel_->setGeometry(storeLink_->width(), 0, labelWidth, height());
  int right = countryLabel_->geometry().x() + labelWidth;
  if (!shippingLabel_->isHidden()) {
    const int shippingWidth = shippingLabel_->sizeHint().width();
    shippingLabel_->setGeometry(right, 0, shippingWidth, height());
    right += shippingWidth;
  }
  const int buttonWidth = std::max(44, xmlButton_->sizeHint().width());
  xmlButton_->setGeometry(right + 12, 1, buttonWidth, height() - 2);
}

}  // namespace Corvalle::Desktop
