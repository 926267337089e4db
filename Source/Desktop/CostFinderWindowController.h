#pragma once

#include <QMainWindow>
#include <QString>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

#include "CombinationWrapper.h"
#include "ErrorHandler.h"
#include "PreferencesManager.h"

class QAction;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace Corvalle {
class ICostFinder;
}

namespace Corvalle::Desktop {

class CostFinderResultsViewController;
class CostFinderStatusViewController;

// The main window: the settings of a search above, and below them a host area that shows the
// status view (at start, while a search runs and after it failed) or the results view. Each
// search runs on a thread of its own; status, failures and results come back to the main
// thread. The window owns the current search's cost finder, whose plans the results view
// shows, until the next search starts. The stores to avoid and to keep live in the saved
// preferences only: their dialogs save them at once, as the results view does, and a search
// reads them when it starts.
class CostFinderWindowController : public QMainWindow, public IErrorHandler {
  Q_OBJECT

 public:
  // Fixes the data directory (the user's cache directory), fills and presets the controls from
  // the saved preferences and shows the status view. Searches the marketplace at
  // marketplaceHost (with ":port" when needed).
  explicit CostFinderWindowController(std::string marketplaceHost_, QWidget* parent = nullptr);
  // Waits for a search that is still running.
  ~CostFinderWindowController() override;

  // Any thread: shows the message in an alert over the window on the main thread; alerts
  // queue up and appear one after the other. Dismissing one enables the controls again and
  // shows the status view.
  void handleError(const QString& message) override;

  CostFinderStatusViewController* statusViewController() const { return statusViewController_; }
  // Null until the first search found plans.
  CostFinderResultsViewController* resultsViewController() const { return resultsViewController_; }
  QWidget* currentViewController() const { return currentViewController_; }
  bool isSearching() const { return searchRunning; }

 public slots:
  void showOpenWantedListPanel();
  // What confirming the open panel does: shows the path, scrolled to its end, and enables the
  // find button.
  void wantedListChosen(const QString& path);
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
  const std::string marketplaceHost;
  enum class StoreList { ToAvoid, ToKeep };

  // What a search needs from the controls, read on the main thread when it starts.
  struct SearchSettings {
    Preferences preferences;
    std::string wantedListPath;
    std::uint32_t threadCount = 1;
  };

  void awakeFromNib();
  void populateThreadPicker();
  void populateCountryPicker();
  void populateCurrencyPicker();
  void populatePreferences();
  void setMinimumWindowSize();
  void showViewFromViewController(QWidget* viewController);
  void adjustSize(QWidget* newView);
  void showNextAlert();
  void showStoreListDialog(StoreList list);
  // Saves the list; a store put on one list leaves the other, as no plan can both avoid and
  // keep it.
  void storeListChosen(StoreList list, const std::vector<std::uint32_t>& stores);
  SearchSettings currentSettings() const;
  // The search operation, on the search thread.
  void findMinimumCostCombinations(const SearchSettings& settings);

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

  CostFinderStatusViewController* statusViewController_ = nullptr;
  CostFinderResultsViewController* resultsViewController_ = nullptr;
  QWidget* currentViewController_ = nullptr;

  // Written by the search thread while it runs, otherwise by the main thread; the two never
  // overlap because a search starts only after the previous thread was joined.
  std::unique_ptr<ICostFinder> currentCostFinder;
  std::thread searchThread;
  bool searchRunning = false;  // main thread: from the start until the outcome arrived

  std::deque<QString> pendingAlerts;  // main thread
  bool alertShown = false;            // main thread
};

}  // namespace Corvalle::Desktop
