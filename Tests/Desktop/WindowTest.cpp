#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "Source/Base/BrickLink/Currencies.h"
#include "Source/Desktop/CombinationOutlineModel.h"
#include "Source/Desktop/CostFinderResultsViewController.h"
#include "Source/Desktop/CostFinderStatusViewController.h"
#include "Source/Desktop/CostFinderWindowController.h"
#include "Tests/Support/FakeCostFinder.h"
#include "Source/Desktop/HyperlinkTextField.h"
#include "Tests/Support/LiveMarketplace.h"
#include "Source/Base/PreferencesManager.h"
#include "Tests/Support/ReadFile.h"
#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Tests/Support/ScopedEnvironment.h"
#include "Source/Desktop/StoreCountChart.h"
#include "Source/Desktop/StoreListDialog.h"
#include "Source/Desktop/StoreTableCellView.h"
#include "Tests/Support/TemporaryDirectory.h"
#include "Tests/Support/VisibleAlert.h"

using namespace Corvalle;
using namespace Corvalle::Desktop;
using Testing::kAbroadStore;
using Testing::kHomeStore;
using Testing::ReadFile;
using Testing::VisibleAlert;

namespace {

// For windows whose searches never reach a marketplace.
constexpr const char* kUnusedHost = "marketplace.invalid";

QString Sample(const char* name) {
  return QStringLiteral(CORVALLE_SAMPLES_DIR "/") + QString::fromLatin1(name);
}

// Every test starts on a cache directory of its own, so the first start is a fresh database.
class FreshCache {
 public:
  FreshCache() : cache("XDG_CACHE_HOME", directory.Path().c_str()) {}

 private:
  Testing::TemporaryDirectory directory;
  Testing::ScopedEnvironment cache;
};

template <typename T>
T* Control(const QWidget& window, const char* name) {
  T* control = window.findChild<T*>(QString::fromLatin1(name));
  if (control == nullptr) {
    qFatal("no control %s", name);
  }
  return control;
}

QList<QAction*> RegionEntries(const QWidget& window) {
  return Control<QToolButton>(window, "regions")->menu()->actions();
}

QAction* RegionEntry(const QWidget& window, const QString& name) {
  for (QAction* entry : RegionEntries(window)) {
    if (entry->text() == name) {
      return entry;
    }
  }
  qFatal("no region %s", qPrintable(name));
}

QStringList CheckedRegions(const QWidget& window) {
  QStringList names;
  for (QAction* entry : RegionEntries(window)) {
    if (entry->isChecked()) {
      names << entry->text();
    }
  }
  return names;
}

// The settings a window shows, or that are saved, as one line to compare: stores, country,
// currency, regions, domestic and international shipping.
QString ShownSettings(const QWidget& window) {
  return QStringList{
      Control<QComboBox>(window, "storesPerCombination")->currentText(),
      Control<QComboBox>(window, "country")->currentText(),
      Control<QComboBox>(window, "currency")->currentText(),
      CheckedRegions(window).join(QLatin1Char(',')),
      QString::number(Control<QDoubleSpinBox>(window, "shippingDomestic")->value()),
      QString::number(Control<QDoubleSpinBox>(window, "shippingInternational")->value())}
      .join(QLatin1Char('|'));
}

QString SavedSettings() {
  const Preferences saved = CreatePreferencesManager()->GetPreferences();
  QStringList regions;
  for (const std::string& region : saved.regions) {
    regions << QString::fromStdString(region);
  }
  return QStringList{
      QString::number(saved.storesPerCombination), QString::fromStdString(saved.country),
      QString::fromStdString(saved.currency),      regions.join(QLatin1Char(',')),
      QString::number(saved.shippingDomestic),     QString::number(saved.shippingInternational)}
      .join(QLatin1Char('|'));
}

const QString kFirstStart = QStringLiteral("3|USA|US Dollar|North America|0|0");

// Chooses a file through the window's own open panel.
void ChooseWantedList(QWidget& window, const QString& path) {
  Control<QPushButton>(window, "selectWantedList")->click();
  QFileDialog* panel = window.findChild<QFileDialog*>(QStringLiteral("openWantedListPanel"));
  if (panel == nullptr || !panel->isVisible()) {
    qFatal("the open panel did not appear");
  }
  panel->selectFile(path);
  static_cast<QDialog*>(panel)->accept();
}

// Whether all the controls are enabled, or with all false, whether all are disabled.
bool ControlsEnabled(const QWidget& window, bool all = true) {
  bool same = true;
  for (const char* name : {"selectWantedList", "findCombinations", "storesPerCombination",
                           "numberOfThreads", "country", "currency", "regions", "shippingDomestic",
                           "shippingInternational", "storesToAvoid", "storesToKeep"}) {
    same = same && Control<QWidget>(window, name)->isEnabled() == all;
  }
  return same;
}

// Opens a store list dialog through its button in the window; a closed one may linger until it
// is deleted.
StoreListDialog* OpenStoreListDialog(QWidget& window, const char* button, const char* name) {
  Control<QPushButton>(window, button)->click();
  for (auto* dialog : window.findChildren<StoreListDialog*>(QString::fromLatin1(name))) {
    if (dialog->isVisible()) {
      return dialog;
    }
  }
  qFatal("the dialog %s is not open", name);
}

QStringList Entries(const StoreListDialog& dialog) {
  QStringList texts;
  for (int row = 0; row < dialog.storeList()->count(); ++row) {
    texts << dialog.storeList()->item(row)->text();
  }
  return texts;
}

void AddStore(StoreListDialog& dialog, const QString& text) {
  dialog.storeNumberField()->setText(text);
  dialog.addButton()->click();
}

void SelectEntry(StoreListDialog& dialog, const QString& text) {
  dialog.storeList()->clearSelection();
  const auto found = dialog.storeList()->findItems(text, Qt::MatchExactly);
  if (found.size() != 1) {
    qFatal("no single entry %s", qPrintable(text));
  }
  found.front()->setSelected(true);
}

Preferences SavedPreferences() { return CreatePreferencesManager()->GetPreferences(); }

// A shown window on a fresh cache. Its searches run on fake cost finders, which find the fake's
// two plans unless a test cans another search, or search the marketplace that the window is
// given.
class ShownWindow {
 public:
  explicit ShownWindow(const std::string& marketplaceHost = {})
      : window(marketplaceHost.empty()
                   ? std::make_unique<CostFinderWindowController>(
                         kUnusedHost, Testing::FakeCostFinder::Factory(searches))
                   : std::make_unique<CostFinderWindowController>(marketplaceHost)),
        finished(window.get(), &CostFinderWindowController::searchFinished) {
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
      qFatal("the window did not appear");
    }
  }

  CostFinderWindowController& operator*() const { return *window; }
  CostFinderWindowController* operator->() const { return window.get(); }

  // Starts a search of the sample castle wall, unless another list was chosen.
  void Start() {
    if (Control<QLineEdit>(*window, "filenameTextField")->text().isEmpty()) {
      ChooseWantedList(*window, Sample("castle-wall.xml"));
    }
    Control<QPushButton>(*window, "findCombinations")->click();
  }

  // Starts a search, waits for its end, and tells whether its plans are shown.
  bool Search() {
    const int before = finished.count();
    Start();
    return QTest::qWaitFor([&] { return finished.count() > before; }, 60000) &&
           window->resultsViewController() != nullptr &&
           window->currentViewController() == window->resultsViewController();
  }

  // Closes each alert that comes until the controls are given back: the alerts' texts.
  QStringList CloseAlerts() {
    QStringList texts;
    const bool ended = QTest::qWaitFor(
        [&] {
          if (QMessageBox* alert = VisibleAlert(*window)) {
            texts << alert->text();
            alert->buttons().first()->click();
          }
          return VisibleAlert(*window) == nullptr && ControlsEnabled(*window);
        },
        30000);
    if (!ended) {
      texts << QStringLiteral("(the alerts did not end)");
    }
    return texts;
  }

  // What the last search asked of its fake cost finder.
  const Testing::CostFinderRequest& Request() const {
    if (searches.requests.empty()) {
      qFatal("no search was asked for");
    }
    return searches.requests.back();
  }

  const FreshCache cache;
  Testing::FakeSearches searches;

 private:
  const std::unique_ptr<CostFinderWindowController> window;

 public:
  QSignalSpy finished;
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void firstStartOnAFreshDatabase();
  void storedValuesShow();
  void aDataDirectoryThatCannotBeMadeIsToldInAnAlert();
  void lastCheckedRegionStaysChecked();
  void choosingAFileEnablesTheSearch();
  void storeNumberParsing();
  void storeListDialogsEditTheSavedLists();
  void aSearchShowsItsPlansAndAFailureItsAlerts();
  void theControlsAndTheSavedStoresMakeTheRequest();
  void costByStoresShowsEachNumbersPlans();
  void leavingOutWhatCannotBeBought();
  void aRefusedSearchSavesNothingAndNamesTheSavedSetting();
  void skippedLinesAreNamedInTheStatusBar();
  void aCacheMendedDuringASearchIsToldAfterIt();
  void stopShowsThePlansFoundSoFarAsNotProven();
  void aSearchOnTheLiveMarketplace();
};

void WindowTest::firstStartOnAFreshDatabase() {
  const FreshCache cache;
  CostFinderWindowController window(kUnusedHost);
  QCOMPARE(ShownSettings(window), kFirstStart);
  QCOMPARE(Control<QComboBox>(window, "storesPerCombination")->itemText(0), QStringLiteral("1"));
  QCOMPARE(RegionEntries(window).size(), 9);
  for (const char* name : {"shippingDomestic", "shippingInternational"}) {
    auto* shipping = Control<QDoubleSpinBox>(window, name);
    QCOMPARE(shipping->decimals(), 2);
    QCOMPARE(shipping->minimum(), 0.0);
    QCOMPARE(shipping->maximum(), kMostShipping);
  }

  const int hardwareThreads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  auto* threads = Control<QComboBox>(window, "numberOfThreads");
  QCOMPARE(threads->count(), hardwareThreads);
  QCOMPARE(threads->itemText(threads->count() - 1), QString::number(hardwareThreads));
  QCOMPARE(threads->currentText(), QString::number(std::max(1, hardwareThreads - 1)));

  // The countries are sorted by name, byte-wise.
  auto* countries = Control<QComboBox>(window, "country");
  for (int index = 1; index < countries->count(); ++index) {
    QVERIFY(countries->itemText(index - 1).toStdString() <
            countries->itemText(index).toStdString());
  }

  // How the status view fits the window is checked after a failed search, which shows it the
  // same way.
  QCOMPARE(window.currentViewController(), window.statusViewController());
  QVERIFY(!Control<QPushButton>(window, "findCombinations")->isEnabled());
}

void WindowTest::storedValuesShow() {
  const FreshCache cache;
  {
    CostFinderWindowController first(kUnusedHost);  // fixes the data directory
  }
  CreatePreferencesManager()->SetPreferences(
      {5, "Germany", "Euro", {"Europe", "Asia"}, 4.5, 12.25, {}, {}});
  QCOMPARE(ShownSettings(CostFinderWindowController(kUnusedHost)),
           QStringLiteral("5|Germany|Euro|Asia,Europe|4.5|12.25"));
  // Saved values that cannot be used, or a file that is no database, give the first start's
  // values: PreferencesManagerTest and CacheDatabaseTest.
}

void WindowTest::aDataDirectoryThatCannotBeMadeIsToldInAnAlert() {
  const Testing::TemporaryDirectory directory;
  const auto file = directory.WriteFile("not-a-directory", "x");
  const Testing::ScopedEnvironment cacheHome("XDG_CACHE_HOME", file.string().c_str());
  CostFinderWindowController window(kUnusedHost);
  window.show();
  QMessageBox* alert = nullptr;
  QTRY_VERIFY((alert = window.findChild<QMessageBox*>(QStringLiteral("errorAlert"))) != nullptr);
  QVERIFY(alert->text().startsWith(QStringLiteral("Corvalle cannot use its data directory.\n")));
  QVERIFY(alert->text().contains(QString::fromStdString(file.string())));
  alert->buttons().front()->click();
}

void WindowTest::lastCheckedRegionStaysChecked() {
  const ShownWindow window;
  RegionEntry(*window, QStringLiteral("North America"))->trigger();
  QCOMPARE(CheckedRegions(*window), QStringList{QStringLiteral("North America")});
  RegionEntry(*window, QStringLiteral("Europe"))->trigger();
  QCOMPARE(CheckedRegions(*window), (QStringList{"Europe", "North America"}));
  RegionEntry(*window, QStringLiteral("North America"))->trigger();
  QCOMPARE(CheckedRegions(*window), QStringList{QStringLiteral("Europe")});
  RegionEntry(*window, QStringLiteral("Europe"))->trigger();
  QCOMPARE(CheckedRegions(*window), QStringList{QStringLiteral("Europe")});
  // The title entry is no region.
  RegionEntries(*window).first()->trigger();
  QCOMPARE(CheckedRegions(*window), QStringList{QStringLiteral("Europe")});
}

void WindowTest::choosingAFileEnablesTheSearch() {
  const ShownWindow window;
  const Testing::TemporaryDirectory files;
  const std::string deep = "a-rather-long-directory-name-that-pushes-the-end-out-of-view/";
  std::filesystem::create_directories(files.Path() / deep / deep);
  const QString path =
      QString::fromStdString(files.WriteFile(deep + deep + "list.xml", "").string());
  ChooseWantedList(*window, path);
  auto* field = Control<QLineEdit>(*window, "filenameTextField");
  QCOMPARE(field->text(), path);
  QCOMPARE(field->cursorPosition(), path.size());
  QVERIFY(!field->hasSelectedText());
  QVERIFY(Control<QPushButton>(*window, "findCombinations")->isEnabled());
}

// The number itself is read as a wanted list's id is (ResultsViewTest has those cases); here, the
// page addresses, and 0, which no store has.
void WindowTest::storeNumberParsing() {
  const std::pair<QString, std::optional<std::uint32_t>> texts[] = {
      {"1234", 1234},
      {"  77\n", 77},
      {"https://www.example.test/store.asp?sID=5150", 5150},
      {" http://host/store.asp?sID=42&p=2 ", 42},
      {"store.asp?sid=9", 9},
      {"0", std::nullopt},
      {"http://host/store.asp?sID=", std::nullopt},
      {"http://host/store.asp?sID=12x", std::nullopt},
      {"http://host/catalog.asp?P=3001", std::nullopt},
  };
  for (const auto& [text, number] : texts) {
    QVERIFY2(ParseStoreNumber(text) == number, qPrintable(text));
  }
}

// The dialogs change the saved lists on OK only; a store is on one list at most.
void WindowTest::storeListDialogsEditTheSavedLists() {
  const ShownWindow window;
  CreatePreferencesManager()->SetPreferences(
      {4, "Germany", "Euro", {"Europe"}, 3.0, 8.5, {}, {1234, 9}});

  StoreListDialog* avoid = OpenStoreListDialog(*window, "storesToAvoid", "storesToAvoidDialog");
  QCOMPARE(avoid->windowTitle(), QStringLiteral("Stores to Avoid"));
  QVERIFY(!avoid->removeButton()->isEnabled());
  AddStore(*avoid, QStringLiteral("1234"));
  // Return in the field adds the store and keeps the dialog open.
  avoid->storeNumberField()->setFocus();
  avoid->storeNumberField()->setText(QStringLiteral("https://example.test/store.asp?sID=77"));
  QTest::keyClick(avoid->storeNumberField(), Qt::Key_Return);
  QVERIFY(avoid->isVisible());
  QCOMPARE(avoid->storeNumberField()->text(), QString());
  QSignalSpy rejected(avoid, &StoreListDialog::storeNumberRejected);
  AddStore(*avoid, QStringLiteral("12a"));
  QCOMPARE(rejected.count(), 1);
  QCOMPARE(avoid->storeNumberField()->text(), QStringLiteral("12a"));
  AddStore(*avoid, QStringLiteral("1234"));
  QCOMPARE(rejected.count(), 1);
  QCOMPARE(Entries(*avoid), (QStringList{"1234", "77"}));
  QCOMPARE(avoid->storeList()->selectedItems().front()->text(), QStringLiteral("1234"));
  avoid->accept();
  Preferences saved = SavedPreferences();
  QCOMPARE(saved.excludedStores, (std::vector<std::uint32_t>{1234, 77}));
  // A store to avoid leaves the stores to keep; the other settings stay as they were.
  QCOMPARE(saved.requiredStores, std::vector<std::uint32_t>{9});
  QCOMPARE(SavedSettings(), QStringLiteral("4|Germany|Euro|Europe|3|8.5"));

  // Cancel leaves the saved list alone.
  avoid = OpenStoreListDialog(*window, "storesToAvoid", "storesToAvoidDialog");
  SelectEntry(*avoid, QStringLiteral("1234"));
  QVERIFY(avoid->removeButton()->isEnabled());
  avoid->removeButton()->click();
  QCOMPARE(Entries(*avoid), QStringList{QStringLiteral("77")});
  QVERIFY(!avoid->removeButton()->isEnabled());
  avoid->reject();
  QCOMPARE(SavedPreferences().excludedStores, (std::vector<std::uint32_t>{1234, 77}));

  // The stores to keep: listed, and one added that was to be avoided.
  StoreListDialog* keep = OpenStoreListDialog(*window, "storesToKeep", "storesToKeepDialog");
  QCOMPARE(keep->windowTitle(), QStringLiteral("Stores to Keep"));
  QCOMPARE(Entries(*keep), QStringList{QStringLiteral("9")});
  AddStore(*keep, QStringLiteral("1234"));
  keep->accept();
  saved = SavedPreferences();
  QCOMPARE(saved.requiredStores, (std::vector<std::uint32_t>{9, 1234}));
  QCOMPARE(saved.excludedStores, std::vector<std::uint32_t>{77});
}

// The window's flow around a search: the controls are taken while it runs, its plans are shown
// in a results view that grows the window; a failed search's alerts give the controls back to a
// status view, and the next search's plans fill the same results view.
void WindowTest::aSearchShowsItsPlansAndAFailureItsAlerts() {
  ShownWindow window;
  const int statusHeight = window->height();
  window.Start();
  QVERIFY(ControlsEnabled(*window, false));
  QVERIFY(window->isSearching());
  QVERIFY(Control<QPushButton>(*window->statusViewController(), "cancelButton")->isEnabled());
  QTRY_VERIFY(window->resultsViewController() != nullptr);
  CostFinderResultsViewController* results = window->resultsViewController();
  QCOMPARE(window->currentViewController(), results);
  QVERIFY(results->isVisible());
  QVERIFY(!window->statusViewController()->isVisible());
  QVERIFY(ControlsEnabled(*window));
  QCOMPARE(window->maximumHeight(), QWIDGETSIZE_MAX);
  QVERIFY(window->height() > statusHeight);

  // The plans found, their stores' addresses on the window's marketplace.
  CombinationOutlineModel* model = results->model();
  QCOMPARE(model->rowCount(), 2);
  QCOMPARE(model->data(model->index(1, 0)).toString(),
           QStringLiteral("Combination #2 - Total Cost: $5.80"));
  StoreTableCellView* cell = results->storeCellView(model->index(1, 0, model->index(0, 0)));
  QVERIFY(cell != nullptr);
  QCOMPARE(cell->storeLink()->url().toString(),
           QStringLiteral("http://%1/store.asp?sID=2002").arg(QLatin1String(kUnusedHost)));

  // A failed search: its alert, then "No combinations found :(", each enabling the controls.
  window.searches.next.failure = "Unable to read items from file :(";
  window.Start();
  QCOMPARE(window->currentViewController(), window->statusViewController());
  QVERIFY(!results->isVisible());
  QMessageBox* alert = nullptr;
  QTRY_VERIFY((alert = VisibleAlert(*window)) != nullptr);
  QCOMPARE(alert->informativeText(), QString());
  QCOMPARE(alert->buttons().size(), 1);
  QCOMPARE(alert->buttons().first()->text(), QStringLiteral("OK"));
  QCOMPARE(window.CloseAlerts(),
           (QStringList{"Unable to read items from file :(", "No combinations found :("}));
  QCOMPARE(window->currentViewController(), window->statusViewController());
  QVERIFY(window->statusViewController()->isVisible());
  QCOMPARE(window->maximumHeight(), window->height());
  QTRY_VERIFY(window->statusViewController()->height() >=
              window->statusViewController()->minimumSizeHint().height());
  QCOMPARE(Control<QLabel>(*window->statusViewController(), "highLevelStatus")->text(), QString());
  QVERIFY(!Control<QPushButton>(*window->statusViewController(), "cancelButton")->isEnabled());

  // A second successful search reuses the results view with new plans, expanded.
  window.searches.next = {.plans = {Testing::kTwoPlans[1]}};
  QVERIFY(window.Search());
  QCOMPARE(window->resultsViewController(), results);
  QCOMPARE(model->rowCount(), 1);
  QCOMPARE(model->data(model->index(0, 0)).toString(),
           QStringLiteral("Combination #1 - Total Cost: $5.80"));
  QTRY_VERIFY(results->outLineView()->isExpanded(model->index(0, 0)));
  QVERIFY(results->storeCellView(model->index(0, 0, model->index(0, 0))) != nullptr);
}

// A search asks for what the controls show, with the stores to avoid and to keep saved when it
// starts; what it asked for is saved.
void WindowTest::theControlsAndTheSavedStoresMakeTheRequest() {
  ShownWindow window;
  CreatePreferencesManager()->SetPreferences(
      {3, "USA", "US Dollar", {"North America"}, 0.0, 0.0, {77}, {9}});
  Control<QComboBox>(*window, "storesPerCombination")->setCurrentText(QStringLiteral("5"));
  Control<QComboBox>(*window, "numberOfThreads")->setCurrentIndex(0);
  Control<QComboBox>(*window, "country")->setCurrentText(QStringLiteral("Germany"));
  Control<QComboBox>(*window, "currency")->setCurrentText(QStringLiteral("Euro"));
  RegionEntry(*window, QStringLiteral("Europe"))->trigger();
  auto* domestic = Control<QDoubleSpinBox>(*window, "shippingDomestic");
  domestic->selectAll();
  QTest::keyClicks(domestic, QStringLiteral("4"));
  Control<QDoubleSpinBox>(*window, "shippingInternational")->setValue(9.0);
  QVERIFY(window.Search());
  const Testing::CostFinderRequest asked = window.Request();
  QCOMPARE(asked.wantedListPath, Sample("castle-wall.xml").toStdString());
  QCOMPARE(asked.storesPerCombination, 5u);
  QCOMPARE(asked.threadCount, 1u);
  QCOMPARE(asked.countryId, std::string("DE"));
  QCOMPARE(asked.currencyId, BrickLink::GetCurrencyByName("Euro").id);
  QCOMPARE(asked.regions, (std::vector<std::string>{"Europe", "North America"}));
  QCOMPARE(asked.options.domesticShipping, 4.0);
  QCOMPARE(asked.options.internationalShipping, 9.0);
  QCOMPARE(asked.options.excludedStores, std::vector<std::uint32_t>{77});
  QCOMPARE(asked.options.requiredStores, std::vector<std::uint32_t>{9});
  QCOMPARE(asked.options.marketplaceHost, std::string(kUnusedHost));
  QVERIFY(asked.options.method == SearchMethod::Bounded);
  QVERIFY(asked.options.listLimits == ListLimits::Apply);
  QVERIFY(asked.options.byStores);
  QVERIFY(!asked.options.skipUnavailable);
  QCOMPARE(asked.options.timeLimitSeconds, 0.0);
  QCOMPARE(SavedSettings(), QStringLiteral("5|Germany|Euro|Europe,North America|4|9"));

  // A store of a plan shown is listed by its dialog with its name.
  StoreListDialog* avoid = OpenStoreListDialog(*window, "storesToAvoid", "storesToAvoidDialog");
  AddStore(*avoid, QString::number(kAbroadStore));
  QCOMPARE(Entries(*avoid), (QStringList{"77", "2002 (Steine Kontor)"}));
  avoid->reject();
}

void WindowTest::costByStoresShowsEachNumbersPlans() {
  ShownWindow window;
  window.searches.next.byStores = {{1, 9.0, 9.0, 0.0}, {2, 7.0, 7.0, 0.0}, {3, 5.0, 5.0, 0.0}};
  window.searches.next.plansByStores = {
      {2, {{{{0, kHomeStore, 8, 0.75}, {1, kHomeStore, 4, 0.25}}}}}};
  QVERIFY(window.Search());
  CostFinderResultsViewController* results = window->resultsViewController();

  // One bar per number of stores with plans, the one of the 3 asked for chosen and its plans
  // shown: the same as the plans of the search.
  StoreCountChart* chart = window->storeCountChart();
  QVERIFY(chart->isVisible());
  const auto bars = chart->bars();
  QCOMPARE(bars.size(), std::size_t{2});
  QCOMPARE(bars.front().stores, 2u);
  QCOMPARE(bars.front().cost, 7.0);
  QCOMPARE(bars.front().costText, QStringLiteral("$7.00"));
  QCOMPARE(bars.back().stores, 3u);
  QCOMPARE(chart->chosenStores(), 3u);
  QCOMPARE(results->combinations(), bars.back().combinations);

  // Choosing the bar of the fewest stores shows their plans.
  QTest::mouseClick(chart, Qt::LeftButton, {}, chart->barRect(0).center());
  QCOMPARE(chart->chosenStores(), 2u);
  QCOMPARE(results->combinations(), bars.front().combinations);
  QCOMPARE(results->model()->rowCount(), 1);
  QCOMPARE(results->model()->data(results->model()->index(0, 0)).toString(),
           QStringLiteral("Combination #1 - Total Cost: $7.00"));
}

void WindowTest::leavingOutWhatCannotBeBought() {
  ShownWindow window;
  const std::string failure =
      "No possible combinations.\n3622 Brick 1 x 3 (any condition, 4 wanted): no store in the "
      "accepted regions offers it";
  window.searches.next.failure = failure;
  window.searches.next.unavailable = {{1, "no store in the accepted regions offers it"}};

  // The failure names the part, and the alert after it offers to search without it.
  window.Start();
  QMessageBox* alert = nullptr;
  QTRY_VERIFY((alert = VisibleAlert(*window)) != nullptr);
  QCOMPARE(alert->text(), QString::fromStdString(failure));
  QVERIFY(alert->findChild<QPushButton*>(QStringLiteral("skipUnavailableButton")) == nullptr);
  alert->buttons().first()->click();
  QTRY_VERIFY((alert = VisibleAlert(*window)) != nullptr);
  QCOMPARE(alert->text(), QStringLiteral("No combinations found :("));
  auto* skip = alert->findChild<QPushButton*>(QStringLiteral("skipUnavailableButton"));
  QVERIFY(skip != nullptr);
  window.searches.next.failure.clear();
  skip->click();
  QTRY_COMPARE(window.finished.count(), 2);
  QVERIFY(window.Request().options.skipUnavailable);
  QCOMPARE(window->currentViewController(), window->resultsViewController());
  QVERIFY(window->leftOutLabel()->isVisible());
  QCOMPARE(window->leftOutLabel()->text(),
           QStringLiteral("Left out, as the regions chosen cannot supply them:\n4 x 3622 N/A "
                          "Brick 1 x 3: no store in the accepted regions offers it"));

  // A search that was not asked to leave anything out shows no such line.
  window.searches.next.unavailable.clear();
  QVERIFY(window.Search());
  QVERIFY(!window.Request().options.skipUnavailable);
  QVERIFY(!window->leftOutLabel()->isVisible());
}

// The settings of a search that refused them are not saved; a saved list at fault is named.
void WindowTest::aRefusedSearchSavesNothingAndNamesTheSavedSetting() {
  ShownWindow window;
  CreatePreferencesManager()->SetPreferences(
      {3, "USA", "US Dollar", {"North America"}, 0.0, 0.0, {71}, {72}});
  const std::string failure =
      "Store 72, which is to be kept in every plan, does not ship to Germany.";
  window.searches.next.failure = failure;
  window.searches.next.refused = {RefusedSetting::ExcludedStores, RefusedSetting::RequiredStores};
  Control<QComboBox>(*window, "country")->setCurrentText(QStringLiteral("Germany"));
  Control<QDoubleSpinBox>(*window, "shippingDomestic")->setValue(4.0);
  QVERIFY(!window.Search());
  QCOMPARE(window.CloseAlerts(),
           (QStringList{QString::fromStdString(failure) +
                            "\nThe stores to avoid are a saved setting: clear them in the Stores "
                            "to Avoid dialog.\nThe stores to keep are a saved setting: clear them "
                            "in the Stores to Keep dialog.",
                        "No combinations found :("}));
  QCOMPARE(SavedSettings(), kFirstStart);
  QCOMPARE(SavedPreferences().excludedStores, std::vector<std::uint32_t>{71});
  QCOMPARE(SavedPreferences().requiredStores, std::vector<std::uint32_t>{72});

  // A search that takes them saves them.
  window.searches.next = {};
  QVERIFY(window.Search());
  QCOMPARE(SavedSettings(), QStringLiteral("3|Germany|US Dollar|North America|4|0"));
}

// A line the format leaves out on purpose stays named in sight; the next search clears it.
void WindowTest::skippedLinesAreNamedInTheStatusBar() {
  ShownWindow window;
  window.searches.next.skippedLines = {{1, "3001", "MINQTY is 0"}, {2, "3002", "no MINQTY"}};
  QVERIFY(window.Search());
  QCOMPARE(window->statusBar()->currentMessage(),
           QStringLiteral("2 lines of the wanted list skipped: Line 1 (item 3001) skipped: MINQTY "
                          "is 0; Line 2 (item 3002) skipped: no MINQTY"));
  window.searches.next.skippedLines = {{4, "3003", "no MINQTY"}};
  QVERIFY(window.Search());
  QCOMPARE(window->statusBar()->currentMessage(),
           QStringLiteral("1 line of the wanted list skipped: Line 4 (item 3003) skipped: no "
                          "MINQTY"));
  window.searches.next.skippedLines.clear();
  QVERIFY(window.Search());
  QCOMPARE(window->statusBar()->currentMessage(), QString());
}

void WindowTest::aCacheMendedDuringASearchIsToldAfterIt() {
  ShownWindow window(kUnusedHost);
  const Testing::TemporaryDirectory files;
  const auto list = files.WriteFile(
      "list.xml",
      "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>0</MINQTY></ITEM>"
      "</INVENTORY>");
  std::ofstream(Sqlite::GetDatabasePath(), std::ios::binary) << std::string(4096, 'x');
  ChooseWantedList(*window, QString::fromStdString(list.string()));
  QVERIFY(!window.Search());
  // The alerts of the search, its end and the notice, one after the other.
  const QStringList alerts = window.CloseAlerts();
  QVERIFY2(alerts.filter(QStringLiteral("was damaged (file is not a database)")).size() == 1,
           qPrintable(alerts.join(QLatin1Char('|'))));
}

// Stop is offered while the plans are searched; the plans found so far are shown with what is
// known of them and of the other numbers of stores.
void WindowTest::stopShowsThePlansFoundSoFarAsNotProven() {
  ShownWindow window;
  window.searches.next.untilStopped = true;
  window.searches.next.proof = {false, 4.5, 3.2};
  window.searches.next.byStores = {
      {1, 0.0, 0.0, 0.0, false, false}, {2, 7.0, 7.0, 0.0, false, true}, {3, 5.0, 5.0, 0.0, false}};
  auto* stop = Control<QPushButton>(*window->statusViewController(), "stopButton");
  QVERIFY(!stop->isEnabled());
  window.Start();
  QVERIFY(!stop->isEnabled());
  QTRY_VERIFY(stop->isEnabled());
  stop->click();
  QVERIFY(!stop->isEnabled());
  QTRY_COMPARE(window.finished.count(), 1);
  QCOMPARE(window.searches.stops, 1);
  QCOMPARE(window->currentViewController(), window->resultsViewController());
  QVERIFY(window->proofLabel()->isVisible());
  QCOMPARE(window->proofLabel()->text(),
           QStringLiteral("Stopped after 3 s: not proven. The cheapest plan found costs $5.00; no "
                          "plan costs less than $4.50 ($5.00 is at most 11.2 % above the best "
                          "possible).\nThe cheapest plans of 2 stores are not proven either.\n"
                          "The search of 1 stores stopped before it found a plan: whether there "
                          "is one is not known."));
  QVERIFY(ControlsEnabled(*window));
  QVERIFY(!stop->isEnabled());

  // Plans proven the cheapest need no such words.
  window.searches.next = {};
  QVERIFY(window.Search());
  QVERIFY(!window->proofLabel()->isVisible());
}

// One whole search on the local marketplace, from the window's controls to its plans shown and
// its settings saved.
void WindowTest::aSearchOnTheLiveMarketplace() {
  Testing::LiveMarketplace marketplace(ReadFile(Sample("world.json").toStdString()));
  ShownWindow window(marketplace.Host());
  RegionEntry(*window, QStringLiteral("Europe"))->trigger();
  QVERIFY(window.Search());
  CostFinderResultsViewController* results = window->resultsViewController();
  CombinationOutlineModel* model = results->model();
  const QAbstractItemModelTester tester(model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
  QVERIFY(model->rowCount() > 1);
  QVERIFY(model->data(model->index(0, 0))
              .toString()
              .startsWith(QStringLiteral("Combination #1 - Total Cost: $")));
  const QModelIndex store = model->index(0, 0, model->index(0, 0));
  QVERIFY(results->storeCellView(store)->storeLink()->url().toString().startsWith(
      QStringLiteral("http://%1/store.asp?sID=").arg(QString::fromStdString(marketplace.Host()))));
  QCOMPARE(window->storeCountChart()->bars().back().stores, 3u);
  QCOMPARE(SavedSettings(), QStringLiteral("3|USA|US Dollar|Europe,North America|0|0"));
}

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
