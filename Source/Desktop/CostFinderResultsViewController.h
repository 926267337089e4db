#pragma once

#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

#include "Source/Desktop/CombinationCostFormatter.h"
#include "Source/Desktop/CombinationWrapper.h"
#include "Source/Desktop/TipTargets.h"

class QLineEdit;
class QPushButton;
class QTreeView;

namespace Corvalle::Desktop {

class CombinationOutlineModel;
class StoreTableCellView;
class TipSheet;
class WantedListXmlSheet;

// The results view: an outline of the cheapest purchase plans, plan by plan, store by store
// and line by line, combination rows expanded and store rows collapsed. From a store row the
// user copies the store's part of the wanted list as XML, and through its context menu keeps
// the store in every plan of the next search; a plan's context menu and the Export Plan button
// write the plan as one wanted-list file per store. The view also offers help and tips. Main
// thread only. The plans behind the wrappers belong to the cost finder of the search that
// found them.
class CostFinderResultsViewController : public QWidget {
  Q_OBJECT

 public:
  // Asks the user for a folder; an empty text when the user cancelled.
  using FolderChooser = std::function<QString(QWidget* parent, const QString& caption)>;

  CostFinderResultsViewController(Combinations combinations, TipTargets tipTargets,
                                  QWidget* parent = nullptr);
  ~CostFinderResultsViewController() override;

  // Shows a new list of plans, with the combination rows expanded.
  void setCombinations(Combinations combinations);
  const Combinations& combinations() const;

  QTreeView* outLineView() const { return outLineView_; }
  CombinationOutlineModel* model() const { return model_; }
  WantedListXmlSheet* createWantedListXmlSheet() const { return createWantedListXmlSheet_; }
  QLineEdit* wantedListIdTextField() const;
  TipSheet* tipSheet() const { return tipSheet_; }
  QPushButton* exportPlanButton() const { return exportPlanButton_; }
  // The menu of the outline row last asked for; null before any and for rows without one.
  QMenu* contextMenu() const { return contextMenu_; }
  // What the Export Plan commands ask the folder with; by default the platform's folder dialog.
  void setFolderChooser(FolderChooser chooser);
  // The number last copied with; nothing before the first copy and while the XML sheet waits
  // for a number.
  std::optional<std::uint32_t> enteredWantedListID() const { return enteredWantedListID_; }
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
  void updateExportPlanButton();
  void showAlert(const QString& name, const QString& text, const QString& informativeText);

  CombinationOutlineModel* model_;
  QTreeView* outLineView_;
  WantedListXmlSheet* createWantedListXmlSheet_;
  TipSheet* tipSheet_;
  QPushButton* exportPlanButton_ = nullptr;
  QPointer<QMenu> contextMenu_;
  CombinationCostFormatter formatter_;
  FolderChooser folderChooser_;
  const StoreWrapper* selectedStore_ = nullptr;
  std::optional<std::uint32_t> enteredWantedListID_;
};

}  // namespace Corvalle::Desktop
