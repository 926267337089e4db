#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "BrickLink/Countries.h"
#include "BrickLink/Currencies.h"
#include "CombinationOutlineModel.h"
#include "CostFinder.h"
#include "CostFinderResultsViewController.h"
#include "CostFinderStatusViewController.h"
#include "CostFinderWindowController.h"
#include "HyperlinkTextField.h"
#include "LiveMarketplace.h"
#include "PreferencesManager.h"
#include "PriceFormatting.h"
#include "ReadFile.h"
#include "SQLite/SqliteWrapper.h"
#include "ScopedEnvironment.h"
#include "StoreCountChart.h"
#include "StoreListDialog.h"
#include "StoreTableCellView.h"
#include "TemporaryDirectory.h"
#include "VisibleAlert.h"

using namespace Corvalle;
using namespace Corvalle::Desktop;
using Testing::ReadFile;

namespace {

// For windows that never search: no marketplace is asked anything.
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

using Testing::VisibleAlert;

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

// The store list dialog of that name on screen; a closed one may linger until it is deleted.
StoreListDialog* VisibleStoreListDialog(const QWidget& window, const char* name) {
  for (auto* dialog : window.findChildren<StoreListDialog*>(QString::fromLatin1(name))) {
    if (dialog->isVisible()) {
      return dialog;
    }
  }
  qFatal("the dialog %s is not open", name);
}

// Opens a store list dialog through its button in the window.
StoreListDialog* OpenStoreListDialog(QWidget& window, const char* button, const char* name) {
  Control<QPushButton>(window, button)->click();
  return VisibleStoreListDialog(window, name);
}

QStringList Entries(const StoreListDialog& dialog) {
  QStringList texts;
  for (int row = 0; row < dialog.storeList()->count(); ++row) {
    texts << dialog.storeList()->item(row)->text();
  }
  return texts;
}

// Types into the dialog's field and presses its Add button.
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

// The stores of every plan shown, by plan.
std::vector<std::vector<std::uint32_t>> ShownStores(const CostFinderResultsViewController& view) {
  std::vector<std::vector<std::uint32_t>> plans;
  for (const auto& combination : view.combinations()) {
    plans.emplace_back();
    for (const auto& store : combination->storeData()) {
      plans.back().push_back(store->storeID());
    }
  }
  return plans;
}

// A world whose search of plans for 11 stores takes far longer than a test may wait: 400 stores
// in the USA each offering a few of 24 parts, in small lots at prices that differ little, so
// that no bound settles much at once. The wanted list is its second part.
std::pair<std::string, std::string> SlowToSearchWorld() {
  std::mt19937 random(31);
  std::ostringstream world;
  world << "{\"stores\": [";
  for (std::uint32_t store = 0; store < 400; ++store) {
    world << (store == 0 ? "" : ",") << "{\"id\": " << 1000 + store << ", \"name\": \"Store "
          << store << "\", \"countryId\": \"US\"}";
  }
  world << "], \"priceGuides\": [";
  std::ostringstream list;
  list << "<INVENTORY>";
  for (std::uint32_t item = 0; item < 24; ++item) {
    world << (item == 0 ? "" : ",") << "{\"type\": \"P\", \"id\": \"" << 3001 + item
          << "\", \"color\": 11, \"used\": [], \"new\": [";
    bool first = true;
    for (std::uint32_t store = 0; store < 400; ++store) {
      if (random() % 10 == 0) {
        world << (first ? "" : ",") << "{\"store\": " << 1000 + store
              << ", \"quantity\": " << 1 + random() % 8
              << ", \"price\": " << 1.0 + static_cast<double>(random() % 20000) / 10000.0 << "}";
        first = false;
      }
    }
    world << "]}";
    list << "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>" << 3001 + item
         << "</ITEMID><COLOR>11</COLOR><MINQTY>8</MINQTY><CONDITION>N</CONDITION></ITEM>";
  }
  world << "]}";
  list << "</INVENTORY>";
  return {world.str(), list.str()};
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void firstStartOnAFreshDatabase();
  void storedValuesThatNoEntryShowsFallBack();
  void aDataDirectoryThatCannotBeMadeIsToldInAnAlert();
  void lastCheckedRegionStaysChecked();
  void choosingAFileEnablesTheSearch();
  void storeNumberParsing_data();
  void storeNumberParsing();
  void storeListDialogsEditTheSavedLists();
  void searchesAgainstALiveMarketplace();
  void shippingAndStoreChoicesReachTheNextSearch();
  void costByStoresShowsEachNumbersPlans();
  void leavingOutWhatCannotBeBought();
  void aRefusedSearchSavesNothingAndNamesTheSavedSetting();
  void skippedLinesAreNamedInTheStatusBar();
  void aCacheMendedDuringASearchIsToldAfterIt();
  void stopShowsThePlansFoundSoFarAsNotProven();
};

void WindowTest::firstStartOnAFreshDatabase() {
  const FreshCache cache;
  CostFinderWindowController window(kUnusedHost);
  QCOMPARE(Control<QComboBox>(window, "storesPerCombination")->currentText(), QStringLiteral("3"));
  QCOMPARE(Control<QComboBox>(window, "storesPerCombination")->itemText(0), QStringLiteral("1"));
  QCOMPARE(Control<QComboBox>(window, "country")->currentText(), QStringLiteral("USA"));
  QCOMPARE(Control<QComboBox>(window, "currency")->currentText(), QStringLiteral("US Dollar"));
  QCOMPARE(CheckedRegions(window), QStringList{QStringLiteral("North America")});
  QCOMPARE(RegionEntries(window).size(), 9);
  for (const char* name : {"shippingDomestic", "shippingInternational"}) {
    auto* shipping = Control<QDoubleSpinBox>(window, name);
    QCOMPARE(shipping->value(), 0.0);
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
  QCOMPARE(Control<QComboBox>(window, "currency")->itemText(0).isEmpty(), false);

  QCOMPARE(window.currentViewController(), window.statusViewController());
  QVERIFY(window.statusViewController()->isVisibleTo(&window));
  QVERIFY(!Control<QPushButton>(window, "findCombinations")->isEnabled());
  QCOMPARE(window.maximumHeight(), window.height());
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QVERIFY(window.statusViewController()->height() >=
          window.statusViewController()->minimumSizeHint().height());

  // The defaults were written for the next start.
  const Preferences saved = CreatePreferencesManager()->GetPreferences();
  QCOMPARE(saved.country, std::string("USA"));
  QCOMPARE(saved.storesPerCombination, 3u);
}

void WindowTest::storedValuesThatNoEntryShowsFallBack() {
  const FreshCache cache;
  {
    CostFinderWindowController first(kUnusedHost);  // fixes the data directory
  }
  CreatePreferencesManager()->SetPreferences(
      {5, "Germany", "Euro", {"Europe", "Asia"}, 4.5, 12.25, {}, {}});
  {
    CostFinderWindowController window(kUnusedHost);
    QCOMPARE(Control<QComboBox>(window, "storesPerCombination")->currentText(),
             QStringLiteral("5"));
    QCOMPARE(Control<QComboBox>(window, "country")->currentText(), QStringLiteral("Germany"));
    QCOMPARE(Control<QComboBox>(window, "currency")->currentText(), QStringLiteral("Euro"));
    QCOMPARE(CheckedRegions(window), (QStringList{"Asia", "Europe"}));
    QCOMPARE(Control<QDoubleSpinBox>(window, "shippingDomestic")->value(), 4.5);
    QCOMPARE(Control<QDoubleSpinBox>(window, "shippingInternational")->value(), 12.25);
  }
  // Values from elsewhere that no entry shows: a search started with them could not run.
  CreatePreferencesManager()->SetPreferences({40, "Atlantis", "Doubloon", {"Lemuria", ""}});
  {
    CostFinderWindowController window(kUnusedHost);
    QCOMPARE(Control<QComboBox>(window, "storesPerCombination")->currentText(),
             QStringLiteral("3"));
    QCOMPARE(Control<QComboBox>(window, "country")->currentText(), QStringLiteral("USA"));
    QCOMPARE(Control<QComboBox>(window, "currency")->currentText(), QStringLiteral("US Dollar"));
    QCOMPARE(CheckedRegions(window), QStringList{QStringLiteral("North America")});
  }
  // A database that cannot be read at all: the first start's values, not each list's first
  // entry (1 store, Argentina, Argentine Peso).
  std::ofstream(Sqlite::GetDatabasePath(), std::ios::trunc) << std::string(8192, 'x');
  CostFinderWindowController window(kUnusedHost);
  QCOMPARE(Control<QComboBox>(window, "storesPerCombination")->currentText(), QStringLiteral("3"));
  QCOMPARE(Control<QComboBox>(window, "country")->currentText(), QStringLiteral("USA"));
  QCOMPARE(Control<QComboBox>(window, "currency")->currentText(), QStringLiteral("US Dollar"));
  QCOMPARE(CheckedRegions(window), QStringList{QStringLiteral("North America")});
  QCOMPARE(Control<QDoubleSpinBox>(window, "shippingDomestic")->value(), 0.0);
  QCOMPARE(Control<QDoubleSpinBox>(window, "shippingInternational")->value(), 0.0);
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
  const FreshCache cache;
  CostFinderWindowController window(kUnusedHost);
  RegionEntry(window, QStringLiteral("North America"))->trigger();
  QCOMPARE(CheckedRegions(window), QStringList{QStringLiteral("North America")});
  RegionEntry(window, QStringLiteral("Europe"))->trigger();
  QCOMPARE(CheckedRegions(window), (QStringList{"Europe", "North America"}));
  RegionEntry(window, QStringLiteral("North America"))->trigger();
  QCOMPARE(CheckedRegions(window), QStringList{QStringLiteral("Europe")});
  RegionEntry(window, QStringLiteral("Europe"))->trigger();
  QCOMPARE(CheckedRegions(window), QStringList{QStringLiteral("Europe")});
  // The title entry is no region.
  RegionEntries(window).first()->trigger();
  QCOMPARE(CheckedRegions(window), QStringList{QStringLiteral("Europe")});
}

void WindowTest::choosingAFileEnablesTheSearch() {
  const FreshCache cache;
  const Testing::TemporaryDirectory files;
  const std::string deep = "a-rather-long-directory-name-that-pushes-the-end-out-of-view/";
  std::filesystem::create_directories(files.Path() / deep / deep);
  const auto list = files.WriteFile(deep + deep + "castle-wall.xml",
                                    ReadFile(Sample("castle-wall.xml").toStdString()));
  const QString path = QString::fromStdString(list.string());

  CostFinderWindowController window(kUnusedHost);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  ChooseWantedList(window, path);
  auto* field = Control<QLineEdit>(window, "filenameTextField");
  QCOMPARE(field->text(), path);
  QCOMPARE(field->cursorPosition(), path.size());
  QVERIFY(!field->hasSelectedText());
  QVERIFY(Control<QPushButton>(window, "findCombinations")->isEnabled());
}

void WindowTest::storeNumberParsing_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("accepted");
  QTest::addColumn<uint>("value");
  QTest::newRow("plain") << "1234" << true << 1234u;
  QTest::newRow("blanks around") << "  77\n" << true << 77u;
  QTest::newRow("largest") << "4294967295" << true << 4294967295u;
  QTest::newRow("page address") << "https://www.example.test/store.asp?sID=5150" << true << 5150u;
  QTest::newRow("address with more after") << " http://host/store.asp?sID=42&p=2 " << true << 42u;
  QTest::newRow("lower-case key") << "store.asp?sid=9" << true << 9u;
  QTest::newRow("zero") << "0" << false << 0u;
  QTest::newRow("too large") << "4294967296" << false << 0u;
  QTest::newRow("negative") << "-5" << false << 0u;
  QTest::newRow("letters after") << "12a" << false << 0u;
  QTest::newRow("nothing") << "" << false << 0u;
  QTest::newRow("address without number") << "http://host/store.asp?sID=" << false << 0u;
  QTest::newRow("address with letters") << "http://host/store.asp?sID=12x" << false << 0u;
  QTest::newRow("other address") << "http://host/catalog.asp?P=3001" << false << 0u;
}

void WindowTest::storeNumberParsing() {
  QFETCH(QString, text);
  QFETCH(bool, accepted);
  QFETCH(uint, value);
  const auto parsed = ParseStoreNumber(text);
  QCOMPARE(parsed.has_value(), accepted);
  if (accepted) {
    QCOMPARE(*parsed, value);
  }
}

void WindowTest::storeListDialogsEditTheSavedLists() {
  const FreshCache cache;
  CostFinderWindowController window(kUnusedHost);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  CreatePreferencesManager()->SetPreferences(
      {4, "Germany", "Euro", {"Europe"}, 3.0, 8.5, {}, {1234, 9}});

  StoreListDialog* avoid = OpenStoreListDialog(window, "storesToAvoid", "storesToAvoidDialog");
  QCOMPARE(avoid->windowTitle(), QStringLiteral("Stores to Avoid"));
  QCOMPARE(avoid->storeList()->count(), 0);
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
  QCOMPARE(avoid->storeList()->selectedItems().size(), 1);
  QCOMPARE(avoid->storeList()->selectedItems().front()->text(), QStringLiteral("1234"));
  avoid->accept();
  Preferences saved = SavedPreferences();
  QCOMPARE(saved.excludedStores, (std::vector<std::uint32_t>{1234, 77}));
  // A store to avoid leaves the stores to keep; the other settings stay as they were.
  QCOMPARE(saved.requiredStores, std::vector<std::uint32_t>{9});
  QCOMPARE(saved.country, std::string("Germany"));
  QCOMPARE(saved.shippingInternational, 8.5);

  // Cancel leaves the saved list alone.
  avoid = OpenStoreListDialog(window, "storesToAvoid", "storesToAvoidDialog");
  QCOMPARE(Entries(*avoid), (QStringList{"1234", "77"}));
  SelectEntry(*avoid, QStringLiteral("1234"));
  avoid->removeButton()->click();
  QCOMPARE(Entries(*avoid), QStringList{QStringLiteral("77")});
  avoid->reject();
  QCOMPARE(SavedPreferences().excludedStores, (std::vector<std::uint32_t>{1234, 77}));

  avoid = OpenStoreListDialog(window, "storesToAvoid", "storesToAvoidDialog");
  SelectEntry(*avoid, QStringLiteral("77"));
  QVERIFY(avoid->removeButton()->isEnabled());
  avoid->removeButton()->click();
  QVERIFY(!avoid->removeButton()->isEnabled());
  avoid->accept();
  QCOMPARE(SavedPreferences().excludedStores, std::vector<std::uint32_t>{1234});

  // The stores to keep: listed, one removed, one added that was to be avoided.
  StoreListDialog* keep = OpenStoreListDialog(window, "storesToKeep", "storesToKeepDialog");
  QCOMPARE(keep->windowTitle(), QStringLiteral("Stores to Keep"));
  QCOMPARE(Entries(*keep), QStringList{QStringLiteral("9")});
  SelectEntry(*keep, QStringLiteral("9"));
  keep->removeButton()->click();
  AddStore(*keep, QStringLiteral("1234"));
  keep->accept();
  saved = SavedPreferences();
  QCOMPARE(saved.requiredStores, std::vector<std::uint32_t>{1234});
  QVERIFY(saved.excludedStores.empty());
}

void WindowTest::searchesAgainstALiveMarketplace() {
  Testing::LiveMarketplace marketplace(ReadFile(Sample("world.json").toStdString()));
  const FreshCache cache;
  CostFinderWindowController window(marketplace.Host());
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  const int statusHeight = window.height();

  ChooseWantedList(window, Sample("castle-wall.xml"));
  RegionEntry(window, QStringLiteral("Europe"))->trigger();
  Control<QPushButton>(window, "findCombinations")->click();
  QVERIFY(ControlsEnabled(window, false));
  QVERIFY(window.isSearching());
  QVERIFY(Control<QPushButton>(*window.statusViewController(), "cancelButton")->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(window.resultsViewController() != nullptr, 60000);
  CostFinderResultsViewController* results = window.resultsViewController();
  QCOMPARE(window.currentViewController(), results);
  QVERIFY(results->isVisible());
  QVERIFY(!window.statusViewController()->isVisible());
  QVERIFY(ControlsEnabled(window));
  QCOMPARE(window.maximumHeight(), QWIDGETSIZE_MAX);
  QVERIFY(window.height() > statusHeight);

  // The settings of the search were saved.
  const Preferences saved = CreatePreferencesManager()->GetPreferences();
  QCOMPARE(saved.regions, (std::vector<std::string>{"Europe", "North America"}));

  // An independent search on the same (now cached) data gives the plans to compare with.
  const auto ignore = [](const Utilities::IStatusUpdate&) {};
  auto reference =
      CreateCostFinder(Sample("castle-wall.xml").toStdString(), saved, marketplace.Host(),
                       {ignore, ignore, [](const std::string&) {}});
  reference->FindMinimumCostCombinations(1);
  const auto& plans = reference->GetCombinationData();
  QVERIFY(!plans.empty());

  CombinationOutlineModel* model = results->model();
  // Checks the model on real plans, through the clearing and refilling of the searches below.
  const QAbstractItemModelTester tester(model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
  QCOMPARE(static_cast<std::size_t>(model->rowCount()), plans.size());
  const QModelIndex first = model->index(0, 0);
  const QString firstText = model->data(first).toString();
  const Utilities::PriceParts firstParts = Utilities::FormatPriceParts(
      plans[0]->Cost(), plans[0]->Shipping(), BrickLink::GetCurrencyByName(saved.currency));
  QCOMPARE(firstText,
           QStringLiteral("Combination #1 - Total Cost: ") + QString::fromStdString(firstParts.total));
  QTRY_VERIFY(results->outLineView()->isExpanded(first));
  const auto& stores = plans[0]->Stores();
  QCOMPARE(static_cast<std::size_t>(model->rowCount(first)), stores.size());
  for (std::size_t storeRow = 0; storeRow < stores.size(); ++storeRow) {
    const QModelIndex storeIndex = model->index(static_cast<int>(storeRow), 0, first);
    StoreTableCellView* cell = results->storeCellView(storeIndex);
    QVERIFY(cell != nullptr);
    QCOMPARE(cell->storeLink()->text(), QString::fromStdString(stores[storeRow].Name()));
    QCOMPARE(cell->storeLink()->url().toString(),
             QString::fromStdString(stores[storeRow].StoreUrl(marketplace.Host())));
    QCOMPARE(cell->countryLabel()->text(),
             QStringLiteral(" (%1)").arg(QString::fromUtf8(stores[storeRow].GetCountry().name)));
    QVERIFY(!results->outLineView()->isExpanded(storeIndex));

    auto line = plans[0]->LotsDataBegin(stores[storeRow].Id());
    const auto end = plans[0]->LotsDataEnd(stores[storeRow].Id());
    QCOMPARE(static_cast<long>(model->rowCount(storeIndex)), static_cast<long>(end - line));
    for (int lotRow = 0; line != end; ++line, ++lotRow) {
      QStringList shown;
      for (int column = 0; column < model->columnCount(); ++column) {
        shown << model->data(model->index(lotRow, column, storeIndex)).toString();
      }
      const Item& item = line->GetItem();
      QCOMPARE(shown,
               (QStringList{QString::number(line->lotData.quantity),
                            QString::fromStdString(Utilities::FormatPrice(line->lotData.price, 4)),
                            QString::fromStdString(ToString(line->condition)),
                            QString::fromStdString(item.Id()),
                            QString::fromStdString(item.Color().Name()),
                            QString::fromStdString(item.Name())}));
      QVERIFY(!shown[4].startsWith(QLatin1Char('[')));  // colours were retrieved
    }
  }

  // A failed search: its alert, then "No combinations found :(", each enabling the controls.
  const Testing::TemporaryDirectory files;
  const auto broken = files.WriteFile("broken.xml", "<INVENTORY><ITEM>");
  ChooseWantedList(window, QString::fromStdString(broken.string()));
  Control<QPushButton>(window, "findCombinations")->click();
  QCOMPARE(window.currentViewController(), window.statusViewController());
  QVERIFY(!results->isVisible());
  QMessageBox* alert = nullptr;
  QTRY_VERIFY_WITH_TIMEOUT((alert = VisibleAlert(window)) != nullptr, 30000);
  QCOMPARE(alert->text(), QStringLiteral("Unable to read items from file :("));
  QCOMPARE(alert->informativeText(), QString());
  QCOMPARE(alert->buttons().size(), 1);
  QCOMPARE(alert->buttons().first()->text(), QStringLiteral("OK"));
  alert->buttons().first()->click();
  QTRY_VERIFY((alert = VisibleAlert(window)) != nullptr);
  QCOMPARE(alert->text(), QStringLiteral("No combinations found :("));
  alert->buttons().first()->click();
  QTRY_VERIFY(VisibleAlert(window) == nullptr);
  QVERIFY(ControlsEnabled(window));
  QCOMPARE(window.currentViewController(), window.statusViewController());
  QVERIFY(window.statusViewController()->isVisible());
  QCOMPARE(window.maximumHeight(), window.height());
  QTRY_VERIFY(window.statusViewController()->height() >=
              window.statusViewController()->minimumSizeHint().height());
  QCOMPARE(Control<QLabel>(*window.statusViewController(), "highLevelStatus")->text(), QString());
  QVERIFY(!Control<QPushButton>(*window.statusViewController(), "cancelButton")->isEnabled());

  // A second successful search reuses the results view with new plans.
  const auto firstWrapper = results->combinations().empty() ? nullptr : results->combinations()[0];
  ChooseWantedList(window, Sample("castle-wall.xml"));
  Control<QPushButton>(window, "findCombinations")->click();
  QTRY_VERIFY_WITH_TIMEOUT(window.currentViewController() == results, 60000);
  QCOMPARE(window.resultsViewController(), results);
  QCOMPARE(static_cast<std::size_t>(results->model()->rowCount()), plans.size());
  QVERIFY(results->combinations()[0] != firstWrapper);
  QCOMPARE(results->model()->data(results->model()->index(0, 0)).toString(), firstText);
}

void WindowTest::shippingAndStoreChoicesReachTheNextSearch() {
  Testing::LiveMarketplace marketplace(ReadFile(Sample("world.json").toStdString()));
  const FreshCache cache;
  CostFinderWindowController window(marketplace.Host());
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QSignalSpy finished(&window, &CostFinderWindowController::searchFinished);
  const auto search = [&] {
    Control<QPushButton>(window, "findCombinations")->click();
    return finished.wait(60000) && window.resultsViewController() != nullptr &&
           window.currentViewController() == window.resultsViewController();
  };
  ChooseWantedList(window, Sample("castle-wall.xml"));
  RegionEntry(window, QStringLiteral("Europe"))->trigger();
  auto* domestic = Control<QDoubleSpinBox>(window, "shippingDomestic");
  auto* international = Control<QDoubleSpinBox>(window, "shippingInternational");
  domestic->selectAll();
  QTest::keyClicks(domestic, QStringLiteral("4"));
  international->setValue(9.0);
  QVERIFY(search());

  // The amounts were saved with the search, and its plans charge them.
  Preferences saved = SavedPreferences();
  QCOMPARE(saved.shippingDomestic, 4.0);
  QCOMPARE(saved.shippingInternational, 9.0);
  const auto ignore = [](const Utilities::IStatusUpdate&) {};
  const auto reference = [&] {
    auto finder = CreateCostFinder(Sample("castle-wall.xml").toStdString(), SavedPreferences(),
                                   marketplace.Host(), {ignore, ignore, [](const std::string&) {}});
    finder->FindMinimumCostCombinations(1);
    return finder;
  }();
  const auto& plans = reference->GetCombinationData();
  QVERIFY(!plans.empty());
  QVERIFY(plans[0]->ChargesShipping());
  CostFinderResultsViewController* results = window.resultsViewController();
  const auto price = [](double amount) {
    return QString::fromStdString(Utilities::FormatPrice(amount));
  };
  const Utilities::PriceParts parts = Utilities::FormatPriceParts(
      plans[0]->Cost(), plans[0]->Shipping(), BrickLink::GetCurrencyByName(saved.currency));
  QCOMPARE(results->model()->data(results->model()->index(0, 0)).toString(),
           QStringLiteral("Combination #1 - Total Cost: %1 (lots %2 + shipping %3)")
               .arg(QString::fromStdString(parts.total), QString::fromStdString(parts.lots),
                    QString::fromStdString(parts.shipping)));
  const BrickLink::StoreInformation& firstStore = plans[0]->Stores().front();
  StoreTableCellView* cell =
      results->storeCellView(results->model()->index(0, 0, results->model()->index(0, 0)));
  QVERIFY(cell != nullptr);
  QCOMPARE(cell->shippingLabel()->text(),
           QStringLiteral(", shipping %1").arg(price(plans[0]->StoreShipping(firstStore.Id()))));

  // The cheapest plan's first store, avoided through its dialog, which names it now.
  const std::uint32_t avoided = firstStore.Id();
  StoreListDialog* avoid = OpenStoreListDialog(window, "storesToAvoid", "storesToAvoidDialog");
  AddStore(*avoid, QString::number(avoided));
  QCOMPARE(Entries(*avoid), QStringList{QStringLiteral("%1 (%2)").arg(avoided).arg(
                                QString::fromStdString(firstStore.Name()))});
  avoid->accept();
  QVERIFY(search());
  std::vector<std::vector<std::uint32_t>> shown = ShownStores(*results);
  QVERIFY(!shown.empty());
  for (const auto& stores : shown) {
    QVERIFY(std::find(stores.begin(), stores.end(), avoided) == stores.end());
  }

  // A store that some plan shown does without, kept through its menu: every plan of the next
  // search buys from it.
  const auto inEveryPlan = [&](std::uint32_t store) {
    return std::all_of(shown.begin(), shown.end(), [store](const auto& stores) {
      return std::find(stores.begin(), stores.end(), store) != stores.end();
    });
  };
  QModelIndex keptRow;
  for (int plan = results->model()->rowCount() - 1; plan >= 0 && !keptRow.isValid(); --plan) {
    const QModelIndex planRow = results->model()->index(plan, 0);
    for (int store = 0; store < results->model()->rowCount(planRow); ++store) {
      const QModelIndex storeRow = results->model()->index(store, 0, planRow);
      if (!inEveryPlan(results->model()->storeAt(storeRow)->storeID())) {
        keptRow = storeRow;
        break;
      }
    }
  }
  QVERIFY(keptRow.isValid());
  const std::uint32_t kept = results->model()->storeAt(keptRow)->storeID();
  results->createContextMenu(keptRow);
  QAction* keep =
      results->contextMenu()->findChild<QAction*>(QStringLiteral("alwaysIncludeStoreAction"));
  QVERIFY(keep != nullptr);
  keep->trigger();
  QVERIFY(search());
  shown = ShownStores(*results);
  QVERIFY(!shown.empty());
  for (const auto& stores : shown) {
    QVERIFY(std::find(stores.begin(), stores.end(), kept) != stores.end());
    QVERIFY(std::find(stores.begin(), stores.end(), avoided) == stores.end());
  }
  saved = SavedPreferences();
  QCOMPARE(saved.excludedStores, std::vector<std::uint32_t>{avoided});
  QCOMPARE(saved.requiredStores, std::vector<std::uint32_t>{kept});
  QCOMPARE(saved.shippingDomestic, 4.0);
}

void WindowTest::costByStoresShowsEachNumbersPlans() {
  Testing::LiveMarketplace marketplace(ReadFile(Sample("world.json").toStdString()));
  const FreshCache cache;
  CostFinderWindowController window(marketplace.Host());
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  ChooseWantedList(window, Sample("castle-wall.xml"));
  RegionEntry(window, QStringLiteral("Europe"))->trigger();
  Control<QPushButton>(window, "findCombinations")->click();
  QTRY_VERIFY_WITH_TIMEOUT(window.currentViewController() == window.resultsViewController() &&
                               window.resultsViewController() != nullptr,
                           60000);
  CostFinderResultsViewController* results = window.resultsViewController();

  // One bar per number of stores up to the 3 asked for, that one highlighted, its plans shown.
  StoreCountChart* chart = window.storeCountChart();
  QVERIFY(chart->isVisible());
  QVERIFY(!window.leftOutLabel()->isVisible());
  const auto bars = chart->bars();
  QVERIFY(bars.size() >= 2);
  QCOMPARE(bars.back().stores, 3u);
  QCOMPARE(chart->chosenStores(), 3u);
  QCOMPARE(results->combinations(), bars.back().combinations);
  for (std::size_t index = 1; index < bars.size(); ++index) {
    QCOMPARE(bars[index].stores, bars[index - 1].stores + 1);
    QVERIFY(bars[index].cost <= bars[index - 1].cost);
  }
  QCOMPARE(bars.front().costText, bars.front().combinations.front()->minimumCost());

  // Choosing the bar of the fewest stores shows their plans.
  QTest::mouseClick(chart, Qt::LeftButton, {}, chart->barRect(0).center());
  QCOMPARE(chart->chosenStores(), bars.front().stores);
  QCOMPARE(results->combinations(), bars.front().combinations);
  QCOMPARE(results->model()->data(results->model()->index(0, 0)).toString(),
           QStringLiteral("Combination #1 - Total Cost: ") + bars.front().costText);
  QCOMPARE(results->combinations().front()->storeData().size(),
           static_cast<std::size_t>(bars.front().stores));

  QVERIFY(ControlsEnabled(window));
}

void WindowTest::leavingOutWhatCannotBeBought() {
  // One part is sold in Brazil and the USA, the other only in the USA.
  Testing::LiveMarketplace marketplace(R"({
    "stores": [{"id": 1, "name": "Loja", "countryId": "BR"},
               {"id": 2, "name": "Shop", "countryId": "US"}],
    "priceGuides": [
      {"type": "P", "id": "3001", "color": 11,
       "new": [{"store": 1, "quantity": 9, "price": 0.5}, {"store": 2, "quantity": 9, "price": 0.4}],
       "used": []},
      {"type": "P", "id": "3002", "color": 11,
       "new": [{"store": 2, "quantity": 9, "price": 0.3}], "used": []}]})");
  const FreshCache cache;
  const Testing::TemporaryDirectory files;
  const auto list = files.WriteFile(
      "wanted.xml",
      "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><COLOR>11</COLOR>"
      "<MINQTY>2</MINQTY><CONDITION>N</CONDITION></ITEM><ITEM><ITEMTYPE>P</ITEMTYPE>"
      "<ITEMID>3002</ITEMID><COLOR>11</COLOR><MINQTY>1</MINQTY><CONDITION>N</CONDITION></ITEM>"
      "</INVENTORY>");
  CostFinderWindowController window(marketplace.Host());
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  ChooseWantedList(window, QString::fromStdString(list.string()));
  RegionEntry(window, QStringLiteral("South America"))->trigger();
  RegionEntry(window, QStringLiteral("North America"))->trigger();
  QCOMPARE(CheckedRegions(window), QStringList{QStringLiteral("South America")});

  // The failure names the part, and the alert after it offers to search without it.
  Control<QPushButton>(window, "findCombinations")->click();
  QMessageBox* alert = nullptr;
  QTRY_VERIFY_WITH_TIMEOUT((alert = VisibleAlert(window)) != nullptr, 60000);
  QCOMPARE(alert->text(),
           QStringLiteral("No possible combinations.\n3002 3002 (Black, new, 1 wanted): no store in "
                          "the accepted regions offers it; offered in North America\nTry removing "
                          "rare parts from the wanted list or selecting more regions to ship "
                          "from."));
  QVERIFY(alert->findChild<QPushButton*>(QStringLiteral("skipUnavailableButton")) == nullptr);
  alert->buttons().first()->click();
  QTRY_VERIFY((alert = VisibleAlert(window)) != nullptr);
  QCOMPARE(alert->text(), QStringLiteral("No combinations found :("));
  auto* skip = alert->findChild<QPushButton*>(QStringLiteral("skipUnavailableButton"));
  QVERIFY(skip != nullptr);
  skip->click();
  QTRY_VERIFY_WITH_TIMEOUT(window.resultsViewController() != nullptr &&
                               window.currentViewController() == window.resultsViewController(),
                           60000);
  QVERIFY(window.leftOutLabel()->isVisible());
  QCOMPARE(window.leftOutLabel()->text(),
           QStringLiteral("Left out, as the regions chosen cannot supply them:\n1 x 3002 Black "
                          "3002: no store in the accepted regions offers it; offered in North "
                          "America"));
  const Combinations& plans = window.resultsViewController()->combinations();
  QVERIFY(!plans.empty());
  QCOMPARE(plans.front()->minimumCost(), QStringLiteral("$1.00"));
  QCOMPARE(plans.front()->storeData().size(), std::size_t{1});
  QCOMPARE(plans.front()->storeData().front()->lotsData().size(), std::size_t{1});
  QCOMPARE(plans.front()->storeData().front()->lotsData().front()->partNumber(),
           QStringLiteral("3001"));

  // A search that can buy everything leaves nothing out, and shows no such line.
  RegionEntry(window, QStringLiteral("North America"))->trigger();
  Control<QPushButton>(window, "findCombinations")->click();
  QTRY_VERIFY_WITH_TIMEOUT(!window.isSearching() && ControlsEnabled(window), 60000);
  QCOMPARE(window.currentViewController(), window.resultsViewController());
  QVERIFY(!window.leftOutLabel()->isVisible());
}

// A store to keep that does not ship to the buyer fails the search for that reason; the
// window's settings of a search so refused are not saved, and the saved list at fault is named.
void WindowTest::aRefusedSearchSavesNothingAndNamesTheSavedSetting() {
  Testing::LiveMarketplace marketplace(R"({
    "stores": [{"id": 71, "name": "Shop", "countryId": "US"},
               {"id": 72, "name": "Maple", "countryId": "CA", "shipsTo": ["CA", "US"]}],
    "priceGuides": [
      {"type": "P", "id": "3001", "color": 11,
       "new": [{"store": 71, "quantity": 9, "price": 0.5}, {"store": 72, "quantity": 9, "price": 0.4}],
       "used": []}]})");
  const FreshCache cache;
  const Testing::TemporaryDirectory files;
  const auto list = files.WriteFile(
      "wanted.xml",
      "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><COLOR>11</COLOR>"
      "<MINQTY>2</MINQTY><CONDITION>N</CONDITION></ITEM></INVENTORY>");
  CostFinderWindowController window(marketplace.Host());
  CreatePreferencesManager()->SetPreferences({3, "USA", "US Dollar", {"North America"}, 0.0, 0.0,
                                              {}, {72}});
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  ChooseWantedList(window, QString::fromStdString(list.string()));
  Control<QComboBox>(window, "country")->setCurrentText(QStringLiteral("Germany"));
  Control<QDoubleSpinBox>(window, "shippingDomestic")->setValue(4.0);

  Control<QPushButton>(window, "findCombinations")->click();
  QMessageBox* alert = nullptr;
  QTRY_VERIFY_WITH_TIMEOUT((alert = VisibleAlert(window)) != nullptr, 60000);
  QCOMPARE(alert->text(),
           QStringLiteral("Store 72, which is to be kept in every plan, does not ship to Germany: "
                          "its lots of the wanted list are marked as not shipping there.\nTake it "
                          "off the stores to keep.\nThe stores to keep are a saved setting: clear "
                          "them in the Stores to Keep dialog."));
  alert->buttons().first()->click();
  QTRY_VERIFY((alert = VisibleAlert(window)) != nullptr);
  QCOMPARE(alert->text(), QStringLiteral("No combinations found :("));
  alert->buttons().first()->click();
  Preferences saved = SavedPreferences();
  QCOMPARE(saved.country, std::string("USA"));
  QCOMPARE(saved.shippingDomestic, 0.0);
  QCOMPARE(saved.requiredStores, std::vector<std::uint32_t>{72});

  // Where it ships, the same search succeeds and its settings are saved.
  QTRY_VERIFY(ControlsEnabled(window));
  Control<QComboBox>(window, "country")->setCurrentText(QStringLiteral("Canada"));
  Control<QPushButton>(window, "findCombinations")->click();
  QTRY_VERIFY_WITH_TIMEOUT(window.resultsViewController() != nullptr &&
                               window.currentViewController() == window.resultsViewController(),
                           60000);
  saved = SavedPreferences();
  QCOMPARE(saved.country, std::string("Canada"));
  QCOMPARE(saved.shippingDomestic, 4.0);
}

// A line the format leaves out on purpose stays named in sight; the next search clears it.
void WindowTest::skippedLinesAreNamedInTheStatusBar() {
  const FreshCache cache;
  const Testing::TemporaryDirectory files;
  const auto list = files.WriteFile(
      "skipping.xml",
      "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>0</MINQTY></ITEM>"
      "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3002</ITEMID></ITEM></INVENTORY>");
  CostFinderWindowController window(kUnusedHost);
  window.show();
  QSignalSpy finished(&window, &CostFinderWindowController::searchFinished);
  ChooseWantedList(window, QString::fromStdString(list.string()));
  Control<QPushButton>(window, "findCombinations")->click();
  QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
  QCOMPARE(window.statusBar()->currentMessage(),
           QStringLiteral("2 lines of the wanted list skipped: Line 1 (item 3001) skipped: MINQTY "
                          "is 0; Line 2 (item 3002) skipped: no MINQTY"));
  // Nothing was left to buy: the alerts say so.
  for (int alerts = 0; alerts < 2; ++alerts) {
    QMessageBox* alert = nullptr;
    QTRY_VERIFY((alert = VisibleAlert(window)) != nullptr);
    alert->buttons().first()->click();
    QTRY_VERIFY(VisibleAlert(window) == nullptr || VisibleAlert(window) != alert);
  }
  QTRY_VERIFY(ControlsEnabled(window));
  const auto broken = files.WriteFile("broken.xml", "<INVENTORY><ITEM>");
  ChooseWantedList(window, QString::fromStdString(broken.string()));
  Control<QPushButton>(window, "findCombinations")->click();
  QCOMPARE(window.statusBar()->currentMessage(), QString());
  QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 30000);
  QCOMPARE(window.statusBar()->currentMessage(), QString());
  QMessageBox* alert = nullptr;
  while ((alert = VisibleAlert(window)) != nullptr || !ControlsEnabled(window)) {
    if (alert != nullptr) {
      alert->buttons().first()->click();
    }
    QTest::qWait(10);
  }
}

void WindowTest::aCacheMendedDuringASearchIsToldAfterIt() {
  const FreshCache cache;
  const Testing::TemporaryDirectory files;
  const auto list = files.WriteFile(
      "list.xml",
      "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>0</MINQTY></ITEM>"
      "</INVENTORY>");
  CostFinderWindowController window(kUnusedHost);
  window.show();
  std::ofstream(Sqlite::GetDatabasePath(), std::ios::binary) << std::string(4096, 'x');
  ChooseWantedList(window, QString::fromStdString(list.string()));
  Control<QPushButton>(window, "findCombinations")->click();
  QStringList alerts;
  QTRY_VERIFY_WITH_TIMEOUT(VisibleAlert(window) != nullptr, 30000);
  // The alerts of the search, its end and the notice, one after the other.
  while (QMessageBox* alert = VisibleAlert(window)) {
    alerts << alert->text();
    alert->buttons().first()->click();
    QTest::qWait(200);
  }
  QVERIFY2(alerts.filter(QStringLiteral("was damaged (file is not a database)")).size() == 1,
           qPrintable(alerts.join(QLatin1Char('|'))));
}

void WindowTest::stopShowsThePlansFoundSoFarAsNotProven() {
  const auto [world, wanted] = SlowToSearchWorld();
  Testing::LiveMarketplace marketplace(world);
  const FreshCache cache;
  const Testing::TemporaryDirectory files;
  const auto list = files.WriteFile("list.xml", wanted);
  CostFinderWindowController window(marketplace.Host());
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  auto* stop = Control<QPushButton>(*window.statusViewController(), "stopButton");
  QVERIFY(!stop->isEnabled());
  ChooseWantedList(window, QString::fromStdString(list.string()));
  Control<QComboBox>(window, "storesPerCombination")->setCurrentText(QStringLiteral("11"));
  Control<QPushButton>(window, "findCombinations")->click();
  // Not while the pages come: only the search of plans can stop.
  QVERIFY(!stop->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(stop->isEnabled(), 120000);
  QVERIFY(Control<QPushButton>(*window.statusViewController(), "cancelButton")->isEnabled());
  stop->click();
  QVERIFY(!stop->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(window.resultsViewController() != nullptr &&
                               window.currentViewController() == window.resultsViewController(),
                           60000);
  const Combinations& shown = window.resultsViewController()->combinations();
  QVERIFY(!shown.empty());
  QVERIFY(window.proofLabel()->isVisible());
  const QString proof = window.proofLabel()->text();
  QVERIFY2(proof.startsWith(QStringLiteral("Stopped after ")), qPrintable(proof));
  QVERIFY2(proof.contains(QStringLiteral(" s: not proven. The cheapest plan found costs ") +
                          shown.front()->minimumCost() + QStringLiteral("; no plan costs less "
                                                                        "than ")),
           qPrintable(proof));
  QVERIFY(ControlsEnabled(window));
  QVERIFY(!stop->isEnabled());
}

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
