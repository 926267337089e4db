#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "BrickLink/Countries.h"
#include "CombinationOutlineModel.h"
#include "CostFinder.h"
#include "CostFinderResultsViewController.h"
#include "CostFinderStatusViewController.h"
#include "CostFinderWindowController.h"
#include "HyperlinkTextField.h"
#include "LiveMarketplace.h"
#include "PreferencesManager.h"
#include "PriceFormatting.h"
#include "SQLite/SqliteWrapper.h"
#include "ScopedEnvironment.h"
#include "StoreTableCellView.h"
#include "TemporaryDirectory.h"

using namespace Corvalle;
using namespace Corvalle::Desktop;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

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

// The alert on screen, if any.
QMessageBox* VisibleAlert(const QWidget& window) {
  for (QMessageBox* alert : window.findChildren<QMessageBox*>(QStringLiteral("errorAlert"))) {
    if (alert->isVisible()) {
      return alert;
    }
  }
  return nullptr;
}

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

bool ControlsEnabled(const QWidget& window) {
  bool enabled = true;
  for (const char* name : {"selectWantedList", "findCombinations", "storesPerCombination",
                           "numberOfThreads", "country", "currency", "regions"}) {
    enabled = enabled && Control<QWidget>(window, name)->isEnabled();
  }
  return enabled;
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
  void searchesAgainstALiveMarketplace();
};

void WindowTest::firstStartOnAFreshDatabase() {
  const FreshCache cache;
  CostFinderWindowController window;
  QCOMPARE(Control<QComboBox>(window, "storesPerCombination")->currentText(), QStringLiteral("3"));
  QCOMPARE(Control<QComboBox>(window, "storesPerCombination")->itemText(0), QStringLiteral("1"));
  QCOMPARE(Control<QComboBox>(window, "country")->currentText(), QStringLiteral("USA"));
  QCOMPARE(Control<QComboBox>(window, "currency")->currentText(), QStringLiteral("US Dollar"));
  QCOMPARE(CheckedRegions(window), QStringList{QStringLiteral("North America")});
  QCOMPARE(RegionEntries(window).size(), 9);

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
    CostFinderWindowController first;  // fixes the data directory
  }
  CreatePreferencesManager()->SetPreferences({5, "Germany", "Euro", {"Europe", "Asia"}});
  {
    CostFinderWindowController window;
    QCOMPARE(Control<QComboBox>(window, "storesPerCombination")->currentText(),
             QStringLiteral("5"));
    QCOMPARE(Control<QComboBox>(window, "country")->currentText(), QStringLiteral("Germany"));
    QCOMPARE(Control<QComboBox>(window, "currency")->currentText(), QStringLiteral("Euro"));
    QCOMPARE(CheckedRegions(window), (QStringList{"Asia", "Europe"}));
  }
  // Values from elsewhere that no entry shows: a search started with them could not run.
  CreatePreferencesManager()->SetPreferences({40, "Atlantis", "Doubloon", {"Lemuria", ""}});
  {
    CostFinderWindowController window;
    QCOMPARE(Control<QComboBox>(window, "storesPerCombination")->currentText(),
             QStringLiteral("3"));
    QCOMPARE(Control<QComboBox>(window, "country")->currentText(), QStringLiteral("USA"));
    QCOMPARE(Control<QComboBox>(window, "currency")->currentText(), QStringLiteral("US Dollar"));
    QCOMPARE(CheckedRegions(window), QStringList{QStringLiteral("North America")});
  }
  // A database that cannot be read at all: the first start's values, not each list's first
  // entry (1 store, Argentina, Argentine Peso).
  std::ofstream(Sqlite::GetDatabasePath(), std::ios::trunc) << std::string(8192, 'x');
  CostFinderWindowController window;
  QCOMPARE(Control<QComboBox>(window, "storesPerCombination")->currentText(), QStringLiteral("3"));
  QCOMPARE(Control<QComboBox>(window, "country")->currentText(), QStringLiteral("USA"));
  QCOMPARE(Control<QComboBox>(window, "currency")->currentText(), QStringLiteral("US Dollar"));
  QCOMPARE(CheckedRegions(window), QStringList{QStringLiteral("North America")});
}

void WindowTest::aDataDirectoryThatCannotBeMadeIsToldInAnAlert() {
  const Testing::TemporaryDirectory directory;
  const auto file = directory.WriteFile("not-a-directory", "x");
  const Testing::ScopedEnvironment cacheHome("XDG_CACHE_HOME", file.string().c_str());
  CostFinderWindowController window;
  window.show();
  QMessageBox* alert = nullptr;
  QTRY_VERIFY((alert = window.findChild<QMessageBox*>(QStringLiteral("errorAlert"))) != nullptr);
  QVERIFY(alert->text().startsWith(QStringLiteral("Corvalle cannot use its data directory.\n")));
  QVERIFY(alert->text().contains(QString::fromStdString(file.string())));
  alert->buttons().front()->click();
}

void WindowTest::lastCheckedRegionStaysChecked() {
  const FreshCache cache;
  CostFinderWindowController window;
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

  CostFinderWindowController window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  ChooseWantedList(window, path);
  auto* field = Control<QLineEdit>(window, "filenameTextField");
  QCOMPARE(field->text(), path);
  QCOMPARE(field->cursorPosition(), path.size());
  QVERIFY(!field->hasSelectedText());
  QVERIFY(Control<QPushButton>(window, "findCombinations")->isEnabled());
}

void WindowTest::searchesAgainstALiveMarketplace() {
  Testing::LiveMarketplace marketplace(ReadFile(Sample("world.json").toStdString()));
  const FreshCache cache;
  CostFinderWindowController window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  const int statusHeight = window.height();

  ChooseWantedList(window, Sample("castle-wall.xml"));
  RegionEntry(window, QStringLiteral("Europe"))->trigger();
  Control<QPushButton>(window, "findCombinations")->click();
  QVERIFY(!ControlsEnabled(window));
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
  auto reference = CreateCostFinder(Sample("castle-wall.xml").toStdString(), saved,
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
  QCOMPARE(firstText, QStringLiteral("Combination #1 - Total Cost: ") +
                          QString::fromStdString(Utilities::FormatPrice(plans[0]->Cost())));
  QTRY_VERIFY(results->outLineView()->isExpanded(first));
  const auto& stores = plans[0]->Stores();
  QCOMPARE(static_cast<std::size_t>(model->rowCount(first)), stores.size());
  for (std::size_t storeRow = 0; storeRow < stores.size(); ++storeRow) {
    const QModelIndex storeIndex = model->index(static_cast<int>(storeRow), 0, first);
    StoreTableCellView* cell = results->storeCellView(storeIndex);
    QVERIFY(cell != nullptr);
    QCOMPARE(cell->storeLink()->text(), QString::fromStdString(stores[storeRow].Name()));
    QCOMPARE(cell->storeLink()->url().toString(),
             QString::fromStdString(stores[storeRow].StoreUrl()));
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
                            QString::fromStdString(Utilities::FormatPrice(line->lotData.price)),
                            QString::fromStdString(ToString(item.GetCondition())),
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

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
