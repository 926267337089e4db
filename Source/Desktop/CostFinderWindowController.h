#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "CombinationWrapper.h"
#include "ErrorHandler.h"

class QAction;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace Corvalle::Desktop {

class CostFinderResultsViewController;
class CostFinderStatusViewController;
class SearchRunner;
struct SearchRequest;

// The main window: the settings of a search above, and below them a host area that shows the
// status view (at start, while a search runs and after it failed) or the results view. The
// search runner runs each search on a thread of its own and keeps its plans, which the results
// view shows, until the next search starts. The stores to avoid and to keep live in the saved
// preferences only: their dialogs save them at once, as the results view does, and a search
// reads them when it starts.
class CostFinderWindowController : public QMainWindow, public IErrorHandler {
  Q_OBJECT

 public:
  // Fixes the data directory (the user's cache directory), fills and presets the controls from
  // the saved preferences and shows the status view. Searches the marketplace at
  // marketplaceHost (with ":port" when needed).
  explicit CostFinderWindowController(std::string marketplaceHost, QWidget* parent = nullptr);
  // Waits for a search that is still running.
  ~CostFinderWindowController() override;

  // Any thread: shows the message in an alert over the window on the main thread; alerts
  // queue up and appear one after the other. Dismissing one enables the controls again and
  // shows the status view.
  void handleError(const QString& message) override;

  CostFinderStatusViewController* statusViewController() const { return statusView; }
  // Null until the first search found plans.
  CostFinderResultsViewController* resultsViewController() const { return resultsView; }
  QWidget* currentViewController() const { return currentView; }
  bool isSearching() const;

 public slots:
  void showOpenWantedListPanel();
  // What confirming the open panel does: shows the path, scrolled to its end, and enables the
  // find button.
  void wantedListChosen(const QString& path);
  // A search needs a region: unchecking the last checked one checks it again.
  void handleRegionSelection(QAction* chosen);
  // Open the dialog of the saved stores to avoid or to keep; OK saves the list.
  void showStoresToAvoidDialog();
  void showStoresToKeepDialog();
  void launchFindCombinations();
  void setConfigurationControlsEnabled(bool enabled);
  void enableConfigurationControls();
  void displayStatusView();
  void displayResultsView(const Combinations& combinations);

 signals:
  // A search ended, with plans shown or with its failure on its way to the alerts.
  void searchFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class StoreList { ToAvoid, ToKeep };

  void awakeFromNib();
  void populateThreadPicker();
  void populateCountryPicker();
  void populateCurrencyPicker();
  void populatePreferences();
  void setMinimumWindowSize();
  void showViewFromViewController(QWidget* viewController);
  void adjustSize(QWidget* newView);
  // Main thread: queues an alert and shows it when no other alert is open.
  void queueAlert(const QString& message);
  void showNextAlert();
  void showStoreListDialog(StoreList list);
  // Saves the list; a store put on one list leaves the other, as no plan can both avoid and
  // keep it.
  void storeListChosen(StoreList list, const std::vector<std::uint32_t>& stores);
  SearchRequest currentRequest() const;
  void searchFinishedWith(const Combinations& combinations);
  // Names the wanted list's skipped lines in the window's status bar until the next search.
  void showSkippedLines(const QStringList& lines);

  QLineEdit* filenameTextField;
  QPushButton* selectWantedList;
  QPushButton* findCombinations;
  QComboBox* storesPerCombination;
  QComboBox* numberOfThreads;
  QComboBox* country;
  QComboBox* currency;
  QToolButton* regions;
  QDoubleSpinBox* shippingDomestic;
  QDoubleSpinBox* shippingInternational;
  QPushButton* storesToAvoid;
  QPushButton* storesToKeep;
  QWidget* hostView;

  CostFinderStatusViewController* statusView = nullptr;
  CostFinderResultsViewController* resultsView = nullptr;
  QWidget* currentView = nullptr;

  std::deque<QString> pendingAlerts;  // main thread
  bool alertShown = false;            // main thread

  // Last, so that it goes first: its destructor waits for a running search while everything
  // the search reports to still exists.
  std::unique_ptr<SearchRunner> searchRunner;
};

}  // namespace Corvalle::Desktop
