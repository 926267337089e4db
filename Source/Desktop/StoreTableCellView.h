#pragma once

#include <QPersistentModelIndex>
#include <QWidget>

class QLabel;
class QPushButton;

namespace Corvalle::Desktop {

class HyperlinkTextField;
class StoreWrapper;

// The "StoreGroup" row of the results outline: the store's name as a link to its page, its
// country as " (Country)" right after the link, what the plan pays the store for shipping when
// the search charged it, and the button that asks for the store's part of the wanted list as
// XML. Knows the outline row it stands in, so the XML button's handler can find the store.
class StoreTableCellView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRowHeight = 19;

  StoreTableCellView(const StoreWrapper& store, const QPersistentModelIndex& outlineRow,
                     QWidget* parent = nullptr);

  HyperlinkTextField* storeLink() const { return storeLink_; }
  QLabel* countryLabel() const { return countryLabel_; }
  // ", shipping <amount>", hidden when the search charged no shipping.
  QLabel* shippingLabel() const { return shippingLabel_; }
  QPushButton* xmlButton() const { return xmlButton_; }
  const QPersistentModelIndex& row() const { return row_; }

  QSize sizeHint() const override;

 signals:
  // The XML button was pressed.
  void createWantedListXml(StoreTableCellView* sender);

 protected:
  // Places the country and shipping labels directly after the link whenever the frame changes.
  void resizeEvent(QResizeEvent* event) override;

 private:
  void layOut();

  HyperlinkTextField* storeLink_;
  QLabel* countryLabel_;
  QLabel* shippingLabel_;
  QPushButton* xmlButton_;
  QPersistentModelIndex row_;
};

}  // namespace Corvalle::Desktop
