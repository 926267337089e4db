#pragma once

#include <QUrl>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "CombinationCostFormatter.h"
#include "CombinationWrapper.h"
#include "TipTargets.h"

class QDialog;
class QLineEdit;
class QTreeView;

namespace Corvalle::Desktop {

class CombinationOutlineModel;
class StoreTableCellView;

// The number of an existing wanted list as the user typed it: blanks and line breaks around it,
// an optional "+", then decimal digits only, at most 4294967295. Anything else, a sign "-"
// included, is no number: the marketplace's list numbers fit in 32 bits, and cutting a larger
// or negative number down would silently name another list.
std::optional<std::uint32_t> ParseWantedListId(const QString& text);

// The results view: an outline of the cheapest purchase plans, plan by plan, store by store
// and line by line, combination rows expanded and store rows collapsed. From a store row the
// user copies the store's part of the wanted list as XML; the view also offers help and tips.
// Main thread only. The plans behind the wrappers belong to the window's current cost finder.
class CostFinderResultsViewController : public QWidget {
  Q_OBJECT

 public:
  static constexpr std::uint64_t kNoWantedListID = ~std::uint64_t{0};
  static constexpr std::uint64_t kSheetOpenWantedListID = 2147483647;

  CostFinderResultsViewController(Combinations combinations, TipTargets tipTargets_,
                                  QWidget* parent = nullptr);
  ~CostFinderResultsViewController() override;

  // Shows a new list of plans, with the combination rows expanded.
  void setCombinations(Combinations combinations);
  const Combinations& combinations() const;

  QTreeView* outLineView() const { return outLineView_; }
  CombinationOutlineModel* model() const { return model_; }
  QDialog* createWantedListXmlSheet() const { return createWantedListXmlSheet_; }
  QLineEdit* wantedListIdTextField() const { return wantedListIdTextField_; }
  QDialog* tipSheet() const { return tipSheet_; }
  // The id last entered; all bits set before any, 2147483647 while the sheet waits for one.
  std::uint64_t enteredWantedListID() const { return _enteredWantedListID; }
  // The cell view of a store row, null for other rows.
  StoreTableCellView* storeCellView(const QModelIndex& index) const;

 public slots:
  void expandCombinations();
  // The XML button of a store row: remembers the store and opens the XML sheet.
  void createWantedListXml(StoreTableCellView* sender);
  // The sheet's copy button: a valid number puts the store's XML on the clipboard and closes
  // the sheet; anything else beeps and keeps the sheet open with the text unchanged.
  void copyWantedListXml();
  void endCopyWantedListXmlSheet();
  void showTipSheet();
  void tipViaDogecoin();
  void tipViaBitcoin();
  void tipViaPayPal();
  void endTipSheet();
  void help();

 signals:
  // The sheet refused what was typed (the system beeped).
  void wantedListIdRejected();

 private:
  void awakeFromNib();
  void createCellViews();
  void openTipAddress(const QUrl& address, const QString& clientName);
  QDialog* createXmlSheet();
  QDialog* createTipSheet();

  TipTargets tipTargets;
  CombinationOutlineModel* model_;
  QTreeView* outLineView_;
  QDialog* createWantedListXmlSheet_ = nullptr;
  QLineEdit* wantedListIdTextField_ = nullptr;
  QDialog* tipSheet_ = nullptr;
  std::unique_ptr<CombinationCostFormatter> formatter;
  bool expansionScheduled = false;
  const StoreWrapper* _selectedStore = nullptr;
  std::uint64_t _enteredWantedListID = kNoWantedListID;
};

}  // namespace Corvalle::Desktop
