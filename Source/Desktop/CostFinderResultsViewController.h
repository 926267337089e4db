#pragma once

#include <QMenu>
#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

#include "CombinationCostFormatter.h"
#include "CombinationWrapper.h"
#include "TipTargets.h"

class QDialog;
class QLineEdit;
class QPushButton;
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
// user copies the store's part of the wanted list as XML, and through its context menu keeps
// the store in every plan of the next search; a plan's context menu and the Export Plan button
// write the plan as one wanted-list file per store. The view also offers help and tips. Main
// thread only. The plans behind the wrappers belong to the window's current cost finder.
class CostFinderResultsViewController : public QWidget {
  Q_OBJECT

 public:
  static constexpr std::uint64_t kNoWantedListID = ~std::uint64_t{0};
  static constexpr std::uint64_t kSheetOpenWantedListID = 2147483647;
  // Asks the user for a folder; an empty text when the user cancelled.
  using FolderChooser = std::function<QString(QWidget* parent, const QString& caption)>;

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
  QPushButton* exportPlanButton() const { return exportPlanButton_; }
  // The menu of the outline row last asked for; null before any and for rows without one.
  QMenu* contextMenu() const { return contextMenu_; }
  // What the Export Plan commands ask the folder with; by default the platform's folder dialog.
  void setFolderChooser(FolderChooser chooser);
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
  // The context menu of the row at a position of the outline's viewport, shown as a popup.
  void showContextMenu(const QPoint& position);
  // Builds the context menu of an outline row (see contextMenu()): on a plan row, Export Plan;
  // on a store row, "Always include this store", checked when the saved preferences keep it.
  void createContextMenu(const QModelIndex& row);
  // Asks for a folder and writes the plan of the row (a plan, store or line row) there as one
  // wanted-list file per store, named as the command line's export names them; an alert tells
  // what was written or why nothing was.
  void exportPlan(const QModelIndex& row);
  // The Export Plan button: the plan of the outline's current row.
  void exportSelectedPlan();
  // Adds the store to the saved stores to keep, taking it off those to avoid, or takes it off
  // the stores to keep. The next search reads them.
  void setStoreAlwaysIncluded(std::uint32_t storeId, bool included);

 signals:
  // The sheet refused what was typed (the system beeped).
  void wantedListIdRejected();
  // Export Plan wrote the files (paths) or failed.
  void planExported(const QStringList& paths);
  void planExportFailed(const QString& message);

 private:
  void awakeFromNib();
  void createCellViews();
  void openTipAddress(const QUrl& address, const QString& clientName);
  QDialog* createXmlSheet();
  QDialog* createTipSheet();
  void updateExportPlanButton();
  void showAlert(const QString& name, const QString& text, const QString& informativeText);

  TipTargets tipTargets;
  CombinationOutlineModel* model_;
  QTreeView* outLineView_;
  QDialog* createWantedListXmlSheet_ = nullptr;
  QLineEdit* wantedListIdTextField_ = nullptr;
  QDialog* tipSheet_ = nullptr;
  QPushButton* exportPlanButton_ = nullptr;
  QPointer<QMenu> contextMenu_;
  std::unique_ptr<CombinationCostFormatter> formatter;
  FolderChooser folderChooser;
  bool expansionScheduled = false;
  const StoreWrapper* _selectedStore = nullptr;
  std::uint64_t _enteredWantedListID = kNoWantedListID;
};

}  // namespace Corvalle::Desktop
