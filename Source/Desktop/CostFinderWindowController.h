#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Source/Desktop/CombinationWrapper.h"
#include "Source/Base/CostFinder.h"
#include "Source/Desktop/ErrorHandler.h"

class QAction;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace Corvalle::Desktop {

class CostFinderResultsViewController;
class CostFinderStatusViewController;
class SearchRunner;
class StoreCountChart;
struct SearchExtrasFound;
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
  // The same window, whose searches run on the cost finders that createCostFinder makes instead
  // of the marketplace's.
  CostFinderWindowController(std::string marketplaceHost, CostFinderFactory createCostFinder,
                             QWidget* parent = nullptr);
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
  // The cheapest total by number of stores, shown above the plans after a search that found
  // any; choosing a bar shows the plans of that number.
  StoreCountChart* storeCountChart() const { return storeCountChart_; }
  // The items the last search left out, shown above the plans; hidden when none was.
  QLabel* leftOutLabel() const { return leftOutLabel_; }
  // Above the plans of a search that was stopped before it proved them: what is known of them.
  // Hidden for proven plans.
  QLabel* proofLabel() const { return proofLabel_; }
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
  // The same search without the items that the regions chosen cannot supply: what the alert
  // of a search that failed for them offers.
  void launchFindCombinationsWithoutUnavailable();
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
  // Main thread: queues an alert and shows it when no other alert is open. offerSkip adds the
  // button that searches again without the items that cannot be bought.
  void queueAlert(const QString& message);
  void queueAlert(const QString& message, bool offerSkip);
  void launchSearch(bool skipUnavailable);
  void showExtras(const SearchExtrasFound& extras);
  void showNextAlert();
  void showStoreListDialog(StoreList list);
  // Saves the list; a store put on one list leaves the other, as no plan can both avoid and
  // keep it.
  void storeListChosen(StoreList list, const std::vector<std::uint32_t>& stores);
  // Throws when the saved stores cannot be read.
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

  StoreCountChart* storeCountChart_;
  QLabel* leftOutLabel_;
  QLabel* proofLabel_;
  bool unavailableToSkip = false;  // the last search failed for items it could leave out
  // The failures of the running search, shown when it ends with savedSettingsHint after them:
  // how to clear the saved settings that the search refused, or empty.
  QStringList searchFailures;  // main thread
  QString savedSettingsHint;   // main thread

  struct PendingAlert {
    QString message;
    bool offerSkip;
  };
  std::deque<PendingAlert> pendingAlerts;  // main thread
  bool alertShown = false;            // main thread

  // Last, so that it goes first: its destructor waits for a running search while everything
  // the search reports to still exists.
  std::unique_ptr<SearchRunner> searchRunner;
};

}  // namespace Corvalle::Desktop
