#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "Source/Base/BrickLink/CombinationData.h"
#include "Source/Base/BrickLink/StoreInformation.h"
#include "Source/Desktop/CombinationCostFormatter.h"
#include "Source/Desktop/CombinationOutlineModel.h"
#include "Source/Desktop/CombinationWrapper.h"
#include "Source/Desktop/CostFinderResultsViewController.h"
#include "Source/Desktop/HyperlinkTextField.h"
#include "Source/Base/PreferencesManager.h"
#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Source/Desktop/StoreTableCellView.h"
#include "Tests/Support/FakeCostFinder.h"
#include "Tests/Support/TemporaryDirectory.h"
#include "Source/Desktop/TipSheet.h"
#include "Tests/Support/UrlRecorder.h"
#include "Tests/Support/VisibleAlert.h"
#include "Source/Desktop/WantedListXmlSheet.h"

using namespace Corvalle;
using namespace Corvalle::Desktop;

namespace {

// The host of the plans' store addresses.
constexpr const char* kHost = "127.0.0.1:8123";

constexpr std::uint32_t kPalace = Testing::kHomeStore;    // a store in the USA
constexpr std::uint32_t kKontor = Testing::kAbroadStore;  // a store in Germany
constexpr std::uint32_t kNameless = 3003;                 // a store without metadata

// Two plans of the same stores: 8 red bricks from the palace and 2 from the kontor, and 4 used
// bricks from a store the metadata table does not know; $315.40, then $335.00.
const std::vector<Testing::FakePlan> kPlans = {
    {{{0, kPalace, 8, 10.05}, {0, kKontor, 2, 117.0}, {1, kNameless, 4, 0.25, Condition::Used}}},
    {{{0, kPalace, 8, 12.5}, {0, kKontor, 2, 117.0}, {1, kNameless, 4, 0.25, Condition::Used}}}};

std::set<std::string> FileNames(const std::filesystem::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

using Testing::VisibleAlert;

QAction* MenuAction(const QMenu* menu, const char* name) {
  return menu == nullptr ? nullptr : menu->findChild<QAction*>(QString::fromLatin1(name));
}

// A right click as the window system delivers it: to the widget under the pointer, from which
// an unhandled event travels up to the outline.
void RightClick(QWidget* widget, const QPoint& position) {
  QContextMenuEvent event(QContextMenuEvent::Mouse, position, widget->mapToGlobal(position));
  QApplication::sendEvent(widget, &event);
}

}  // namespace

class ResultsViewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void modelShowsEveryRowWithTheWrappersTexts();
  void viewExpandsThePlansAndShowsShippingOnlyWhenCharged();
  void hyperlinkHoversAndOpensItsAddress();
  void wantedListIdParsing();
  void xmlSheetCopiesOrRefuses();
  void tipSheetButtonsFollowTheirAddresses();
  void storeMenuKeepsTheStoreForTheNextSearch();
  void exportPlanWritesOneFilePerStore();

 private:
  Combinations MakeCombinations() const;

  Testing::TemporaryDirectory dataDirectory;
  std::vector<std::unique_ptr<BrickLink::ICombinationData>> plans;
  Testing::UrlRecorder recorder;
};

void ResultsViewTest::initTestCase() {
  Sqlite::SetDataDirectory(dataDirectory.Path().c_str());
  plans = Testing::MakePlans(kPlans);
}

void ResultsViewTest::init() {
  // The prices are written in the saved currency; some tests change the stores to keep.
  CreatePreferencesManager()->SetPreferences({3, "USA", "US Dollar", {"North America"}});
}

Combinations ResultsViewTest::MakeCombinations() const {
  Combinations combinations;
  std::uint32_t index = 0;
  for (const auto& plan : plans) {
    combinations.push_back(std::make_shared<const CombinationWrapper>(++index, *plan, kHost));
  }
  return combinations;
}

// The outline's rows show the wrappers' texts: unit prices to four decimals, totals to two, and
// a store missing from the store table by the fixed name, without a country lookup that throws.
// How rows and their parents fit together is the tester's to check.
void ResultsViewTest::modelShowsEveryRowWithTheWrappersTexts() {
  CombinationOutlineModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
  model.setCombinations(MakeCombinations());
  QCOMPARE(model.rowCount(), 2);
  const QModelIndex first = model.index(0, 0);
  QCOMPARE(model.data(first).toString(), QStringLiteral("Combination #1 - Total Cost: $315.40"));
  QCOMPARE(model.data(model.index(1, 0)).toString(),
           QStringLiteral("Combination #2 - Total Cost: $335.00"));
  // Only column 0 of a group row has children.
  QCOMPARE(model.rowCount(model.index(0, 1)), 0);

  QStringList stores;
  QStringList lines;
  for (int row = 0; row < model.rowCount(first); ++row) {
    const QModelIndex store = model.index(row, 0, first);
    QCOMPARE(model.kindOf(store), CombinationOutlineModel::RowKind::Store);
    QCOMPARE(model.rowCount(store), 1);
    stores << model.data(store).toString();
    const QModelIndex line = model.index(0, 0, store);
    QVERIFY(model.flags(line).testFlag(Qt::ItemNeverHasChildren));
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column) {
      texts << model.data(model.index(0, column, store)).toString();
    }
    lines << texts.join(QLatin1Char('|'));
  }
  QCOMPARE(stores,
           (QStringList{"Brick Palace (USA)", "Steine Kontor (Germany)",
                        QString::fromLatin1(BrickLink::StoreInformation::kUnknownStoreName) +
                            " (Unknown country)"}));
  QCOMPARE(lines, (QStringList{"8|$10.0500|New|3001|Red|Brick 2 x 4",
                               "2|$117.0000|New|3001|Red|Brick 2 x 4",
                               "4|$0.2500|Used|3622|N/A|Brick 1 x 3"}));

  model.setCombinations({});
  QCOMPARE(model.rowCount(), 0);
}

// The plans are expanded once loaded; each store row is a cell of the store's link, its country,
// its shipping when charged and the XML button, one after the other.
void ResultsViewTest::viewExpandsThePlansAndShowsShippingOnlyWhenCharged() {
  // The first plan's stores at other prices, charged 4.00 shipping for the palace and 9.00 for
  // each of the other two; then lots of $1.025 and $4.00 shipping: $5.03 in all, so the lots
  // show as $1.03, not as the $1.02 that rounding them by themselves gives, which would not add
  // up.
  const auto charged = Testing::MakePlans(
      {{{{0, kPalace, 8, 1.5}, {0, kKontor, 2, 3.06}, {1, kNameless, 4, 0.25}}, {4.0, 9.0, 9.0}},
       {{{0, kPalace, 1, 1.025}}, {4.0}}});
  Combinations combinations{std::make_shared<const CombinationWrapper>(1, *charged[0], kHost),
                            std::make_shared<const CombinationWrapper>(2, *plans[0], kHost)};
  const CombinationWrapper odd(3, *charged[1], kHost);
  QCOMPARE(CombinationCostFormatter().stringForObjectValue(&odd),
           QStringLiteral("Combination #3 - Total Cost: $5.03 (lots $1.03 + shipping $4.00)"));

  QCOMPARE(CombinationCostFormatter().stringForObjectValue(nullptr), QString());
  const QString shippedText =
      QStringLiteral("Combination #1 - Total Cost: $41.12 (lots $19.12 + shipping $22.00)");
  // Only the total is bold; the breakdown explains it.
  const QString shippedHtml = QStringLiteral(
      "<span style=\"font-size:12px\">Combination #1 - Total Cost: <b>$41.12</b> (lots $19.12 + "
      "shipping $22.00)</span>");

  CostFinderResultsViewController controller(combinations, TipTargets{});
  controller.show();
  CombinationOutlineModel* model = controller.model();
  QTreeView* outline = controller.outLineView();
  const QModelIndex shippedRow = model->index(0, 0);
  const QModelIndex plainRow = model->index(1, 0);
  // Expansion happens after the first load, on the event loop.
  QTRY_VERIFY(outline->isExpanded(shippedRow));
  QVERIFY(outline->isExpanded(plainRow));
  QVERIFY(!outline->isExpanded(model->index(0, 0, shippedRow)));
  QCOMPARE(model->data(shippedRow).toString(), shippedText);
  QCOMPARE(qobject_cast<QLabel*>(outline->indexWidget(shippedRow))->text(), shippedHtml);
  QCOMPARE(model->data(model->index(0, 0, shippedRow)).toString(),
           QStringLiteral("Brick Palace (USA), shipping $4.00"));
  QCOMPARE(model->data(model->index(1, 0, shippedRow)).toString(),
           QStringLiteral("Steine Kontor (Germany), shipping $9.00"));
  StoreTableCellView* shippedCell = controller.storeCellView(model->index(0, 0, shippedRow));
  QVERIFY(shippedCell != nullptr);
  QVERIFY(shippedCell->shippingLabel()->isVisible());
  QCOMPARE(shippedCell->shippingLabel()->text(), QStringLiteral(", shipping $4.00"));
  // Country, shipping and button follow one another without overlapping.
  QCOMPARE(shippedCell->shippingLabel()->x(),
           shippedCell->countryLabel()->x() + shippedCell->countryLabel()->width());
  QCOMPARE(shippedCell->xmlButton()->x(),
           shippedCell->shippingLabel()->x() + shippedCell->shippingLabel()->width() + 12);

  // Without shipping charged, a row shows the total alone.
  QCOMPARE(qobject_cast<QLabel*>(outline->indexWidget(plainRow))->text(),
           QStringLiteral("<span style=\"font-size:12px\">Combination #2 - Total Cost: "
                          "<b>$315.40</b></span>"));
  QCOMPARE(model->data(model->index(0, 0, plainRow)).toString(),
           QStringLiteral("Brick Palace (USA)"));
  const QModelIndex palace = model->index(0, 0, plainRow);
  StoreTableCellView* plainCell = controller.storeCellView(palace);
  QVERIFY(plainCell != nullptr);
  QVERIFY(plainCell->shippingLabel()->isHidden());
  QCOMPARE(plainCell->storeLink()->text(), QStringLiteral("Brick Palace"));
  QCOMPARE(plainCell->countryLabel()->text(), QStringLiteral(" (USA)"));
  QVERIFY(plainCell->storeLink()->font().underline());
  // The link is as wide as its name; the country follows it directly.
  QCOMPARE(plainCell->storeLink()->width(), plainCell->storeLink()->sizeHint().width());
  QCOMPARE(plainCell->countryLabel()->x(), plainCell->storeLink()->width());
  QCOMPARE(plainCell->xmlButton()->x(),
           plainCell->countryLabel()->x() + plainCell->countryLabel()->width() + 12);
  QCOMPARE(outline->visualRect(palace).height(), 19);
  QCOMPARE(outline->visualRect(plainRow).height(), 19);
  outline->expand(palace);
  QCOMPARE(outline->visualRect(model->index(0, 2, palace)).height(), 15);
}

void ResultsViewTest::hyperlinkHoversAndOpensItsAddress() {
  QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
  recorder.opened.clear();
  QWidget parent;
  parent.resize(300, 40);
  auto* link = new HyperlinkTextField(&parent);
  link->setGeometry(10, 5, 10, 19);
  link->assignStoreName(QStringLiteral("Brick Palace"), QStringLiteral("http://example.test/s"));
  QCOMPARE(link->geometry().topLeft(), QPoint(10, 5));
  QCOMPARE(link->height(), 19);
  parent.show();
  QVERIFY(QTest::qWaitForWindowExposed(&parent));

  QCOMPARE(link->titleColor(), HyperlinkTextField::kNormalColor);
  QTest::mouseMove(link, QPoint(link->width() / 2, link->height() / 2));
  QTRY_COMPARE(link->titleColor(), HyperlinkTextField::kHoverColor);
  QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
  // The top two rows of pixels are outside the tracking area.
  QTest::mouseMove(link, QPoint(link->width() / 2, 1));
  QTRY_COMPARE(link->titleColor(), HyperlinkTextField::kNormalColor);

  QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, 10));
  QCOMPARE(recorder.opened, (QList<QUrl>{QUrl(QStringLiteral("http://example.test/s"))}));
  QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

void ResultsViewTest::wantedListIdParsing() {
  const std::pair<QString, std::optional<std::uint32_t>> texts[] = {
      {"12345", 12345},
      {"\n\t7\r\n", 7},
      {"+9", 9},
      {"0", 0},
      {"4294967295", 4294967295u},
      {"4294967296", std::nullopt},
      {"-5", std::nullopt},
      {"12a", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"++1", std::nullopt},
      {QString::fromUtf8("\xD9\xA1\xD9\xA2"), std::nullopt},  // Arabic-Indic digits
  };
  for (const auto& [text, id] : texts) {
    QVERIFY2(ParseWantedListId(text) == id, qPrintable(text));
  }
}

void ResultsViewTest::xmlSheetCopiesOrRefuses() {
  CostFinderResultsViewController controller(MakeCombinations(), TipTargets{});
  controller.show();
  QCOMPARE(controller.enteredWantedListID(), std::nullopt);
  const QModelIndex kontor = controller.model()->index(1, 0, controller.model()->index(0, 0));
  StoreTableCellView* cell = controller.storeCellView(kontor);
  QVERIFY(cell != nullptr);
  QDialog* sheet = controller.createWantedListXmlSheet();
  QLineEdit* field = controller.wantedListIdTextField();
  auto* copy = sheet->findChild<QPushButton*>(QStringLiteral("copyButton"));
  auto* cancel = sheet->findChild<QPushButton*>(QStringLiteral("cancelButton"));
  QSignalSpy rejected(&controller, &CostFinderResultsViewController::wantedListIdRejected);
  QClipboard* clipboard = QGuiApplication::clipboard();

  cell->xmlButton()->click();
  QVERIFY(sheet->isVisible());
  QCOMPARE(controller.enteredWantedListID(), std::nullopt);

  // What the field refuses is wantedListIdParsing's; a refusal keeps the sheet and the clipboard.
  clipboard->setText(QStringLiteral("untouched"));
  field->setText(QStringLiteral("12a"));
  copy->click();
  QVERIFY(sheet->isVisible());
  QCOMPARE(field->text(), QStringLiteral("12a"));
  QCOMPARE(rejected.count(), 1);
  QCOMPARE(clipboard->text(), QStringLiteral("untouched"));
  QCOMPARE(controller.enteredWantedListID(), std::nullopt);

  field->clear();
  QTest::keyClicks(field, QStringLiteral("12345"));
  copy->click();
  QVERIFY(!sheet->isVisible());
  QCOMPARE(field->text(), QString());
  QCOMPARE(controller.enteredWantedListID(), std::optional<std::uint32_t>(12345));
  const QString expected = QStringLiteral(
      "<INVENTORY>\n <ITEM>\n  <ITEMID>3001</ITEMID>\n  <ITEMTYPE>P</ITEMTYPE>\n"
      "  <COLOR>5</COLOR>\n  <MINQTY>2</MINQTY>\n  <MAXPRICE>117.0000</MAXPRICE>\n"
      "  <CONDITION>N</CONDITION>\n  <WANTEDLISTID>12345</WANTEDLISTID>\n"
      " </ITEM>\n</INVENTORY>");
  QCOMPARE(clipboard->text(), expected);

  // Cancel leaves the clipboard alone.
  cell->xmlButton()->click();
  field->setText(QStringLiteral("99"));
  cancel->click();
  QVERIFY(!sheet->isVisible());
  QCOMPARE(clipboard->text(), expected);
}

void ResultsViewTest::tipSheetButtonsFollowTheirAddresses() {
  {
    // The default build has no addresses: nothing can be sent anywhere.
    CostFinderResultsViewController controller(MakeCombinations(), TipTargets::FromBuild());
    for (const char* name : {"dogecoinButton", "bitcoinButton", "payPalButton"}) {
      auto* button = controller.tipSheet()->findChild<QPushButton*>(QString::fromLatin1(name));
      QVERIFY(button != nullptr);
      QVERIFY2(!button->isEnabled(), name);
    }
  }
  TipTargets targets{QStringLiteral("DDoge"), QStringLiteral("1Bit"), QStringLiteral("pay.example"),
                     QStringLiteral("BUTTON7")};
  QCOMPARE(targets.DogecoinUrl().toString(), QStringLiteral("dogecoin:DDoge?label=Corvalle"));
  QCOMPARE(targets.BitcoinUrl().toString(), QStringLiteral("bitcoin:1Bit?label=Corvalle"));
  QCOMPARE(
      targets.PayPalUrl().toString(),
      QStringLiteral("https://pay.example/cgi-bin/webscr?cmd=_s-xclick&hosted_button_id=BUTTON7"));

  CostFinderResultsViewController controller(MakeCombinations(), targets);
  controller.show();
  QDesktopServices::setUrlHandler(QStringLiteral("bitcoin"), &recorder, "open");
  recorder.opened.clear();
  controller.showTipSheet();
  QVERIFY(controller.tipSheet()->isVisible());
  controller.tipSheet()->findChild<QPushButton*>(QStringLiteral("bitcoinButton"))->click();
  QVERIFY(!controller.tipSheet()->isVisible());
  QCOMPARE(recorder.opened, (QList<QUrl>{targets.BitcoinUrl()}));
  QDesktopServices::unsetUrlHandler(QStringLiteral("bitcoin"));

  // Nothing on this headless platform handles "dogecoin:".
  controller.showTipSheet();
  controller.tipSheet()->findChild<QPushButton*>(QStringLiteral("dogecoinButton"))->click();
  QVERIFY(!controller.tipSheet()->isVisible());
  QMessageBox* alert = nullptr;
  QTRY_VERIFY((alert = VisibleAlert(controller, QStringLiteral("tipAlert"))) != nullptr);
  QCOMPARE(alert->text(), QStringLiteral("Please install a Dogecoin client."));
  alert->buttons().first()->click();
}

void ResultsViewTest::storeMenuKeepsTheStoreForTheNextSearch() {
  Preferences start{3, "USA", "US Dollar", {"North America"}, 2.5, 7.0, {kKontor, 77}, {55}};
  CreatePreferencesManager()->SetPreferences(start);
  CostFinderResultsViewController controller(MakeCombinations(), TipTargets{});
  controller.show();
  controller.expandCombinations();
  CombinationOutlineModel* model = controller.model();
  const QModelIndex plan = model->index(0, 0);
  const QModelIndex kontor = model->index(1, 0, plan);
  StoreTableCellView* cell = controller.storeCellView(kontor);
  QVERIFY(cell != nullptr);

  // A right click on the store's country reaches the outline, which offers the store's menu.
  RightClick(cell->countryLabel(), QPoint(2, 2));
  QMenu* menu = controller.contextMenu();
  QVERIFY(menu != nullptr);
  QVERIFY(menu->isVisible());
  QAction* keep = MenuAction(menu, "alwaysIncludeStoreAction");
  QVERIFY(keep != nullptr);
  QCOMPARE(keep->text(), QStringLiteral("Always include this store"));
  QVERIFY(keep->isCheckable());
  QVERIFY(!keep->isChecked());
  QVERIFY(MenuAction(menu, "exportPlanAction") == nullptr);
  keep->trigger();
  menu->close();
  Preferences saved = CreatePreferencesManager()->GetPreferences();
  QCOMPARE(saved.requiredStores, (std::vector<std::uint32_t>{55, kKontor}));
  // A store kept in every plan cannot be avoided as well.
  QCOMPARE(saved.excludedStores, std::vector<std::uint32_t>{77});
  QCOMPARE(saved.shippingDomestic, 2.5);

  // Asked again, the menu shows the store as kept, and choosing the entry takes it off.
  controller.createContextMenu(kontor);
  keep = MenuAction(controller.contextMenu(), "alwaysIncludeStoreAction");
  QVERIFY(keep != nullptr);
  QVERIFY(keep->isChecked());
  keep->trigger();
  saved = CreatePreferencesManager()->GetPreferences();
  QCOMPARE(saved.requiredStores, std::vector<std::uint32_t>{55});
  QCOMPARE(saved.excludedStores, std::vector<std::uint32_t>{77});

  // The same store in the second plan is the same store: kept there too.
  controller.createContextMenu(model->index(1, 0, model->index(1, 0)));
  keep = MenuAction(controller.contextMenu(), "alwaysIncludeStoreAction");
  QVERIFY(keep != nullptr);
  QVERIFY(!keep->isChecked());
  keep->trigger();
  controller.createContextMenu(kontor);
  QVERIFY(MenuAction(controller.contextMenu(), "alwaysIncludeStoreAction")->isChecked());

  // A plan row offers the export instead; a plan line offers nothing.
  RightClick(controller.outLineView()->viewport(),
             controller.outLineView()->visualRect(plan).center());
  QVERIFY(controller.contextMenu() != nullptr);
  QVERIFY(controller.contextMenu()->isVisible());
  QVERIFY(MenuAction(controller.contextMenu(), "exportPlanAction") != nullptr);
  QVERIFY(MenuAction(controller.contextMenu(), "alwaysIncludeStoreAction") == nullptr);
  controller.contextMenu()->close();
  controller.createContextMenu(model->index(0, 0, kontor));
  QVERIFY(controller.contextMenu() == nullptr);
}

void ResultsViewTest::exportPlanWritesOneFilePerStore() {
  const Testing::TemporaryDirectory files;
  CostFinderResultsViewController controller(MakeCombinations(), TipTargets{});
  controller.show();
  controller.expandCombinations();
  CombinationOutlineModel* model = controller.model();
  QStringList captions;
  QString answer;
  controller.setFolderChooser([&](QWidget* parent, const QString& caption) {
    if (parent != &controller) {
      qFatal("the folder dialog has no parent window");
    }
    captions << caption;
    return answer;
  });
  QSignalSpy exported(&controller, &CostFinderResultsViewController::planExported);
  QSignalSpy failed(&controller, &CostFinderResultsViewController::planExportFailed);

  // The second plan from its menu, into a folder that does not exist yet.
  const std::filesystem::path second = files.Path() / "exports" / "plan two";
  answer = QString::fromStdString(second.string());
  controller.createContextMenu(model->index(1, 0));
  MenuAction(controller.contextMenu(), "exportPlanAction")->trigger();
  QCOMPARE(captions, QStringList{QStringLiteral("Choose a Folder for Combination #2")});
  QCOMPARE(exported.count(), 1);
  QCOMPARE(FileNames(second),
           (std::set<std::string>{"plan-2-store-1001.xml", "plan-2-store-2002.xml",
                                  "plan-2-store-3003.xml"}));
  QMessageBox* alert = VisibleAlert(controller, QStringLiteral("exportAlert"));
  QVERIFY(alert != nullptr);
  QCOMPARE(alert->text(), QStringLiteral("Wrote 3 wanted-list files of combination #2 to %1.")
                              .arg(QString::fromStdString(second.string())));
  QCOMPARE(alert->informativeText(),
           QStringLiteral("plan-2-store-1001.xml\nplan-2-store-2002.xml\nplan-2-store-3003.xml"));
  alert->buttons().first()->click();

  // The button exports the plan of the current row, whichever row of the plan that is.
  QVERIFY(!controller.exportPlanButton()->isEnabled());
  const QModelIndex line = model->index(0, 3, model->index(1, 0, model->index(0, 0)));
  controller.outLineView()->setCurrentIndex(line);
  QVERIFY(controller.exportPlanButton()->isEnabled());
  const std::filesystem::path first = files.Path() / "first";
  answer = QString::fromStdString(first.string());
  controller.exportPlanButton()->click();
  QCOMPARE(captions.last(), QStringLiteral("Choose a Folder for Combination #1"));
  QCOMPARE(exported.count(), 2);
  QVERIFY(std::filesystem::exists(first / "plan-1-store-2002.xml"));
  VisibleAlert(controller, QStringLiteral("exportAlert"))->buttons().first()->click();

  // Cancelling the folder dialog writes nothing and says nothing.
  answer.clear();
  controller.exportPlanButton()->click();
  QCOMPARE(exported.count(), 2);
  QCOMPARE(failed.count(), 0);
  QVERIFY(VisibleAlert(controller, QStringLiteral("exportAlert")) == nullptr);

  // A folder that cannot be made: the alert names it and says why.
  const auto blocker = files.WriteFile("not-a-folder", "x");
  answer = QString::fromStdString((blocker / "lists").string());
  controller.exportPlanButton()->click();
  QCOMPARE(exported.count(), 2);
  QCOMPARE(failed.count(), 1);
  alert = VisibleAlert(controller, QStringLiteral("exportAlert"));
  QVERIFY(alert != nullptr);
  QVERIFY2(alert->text().startsWith(
               QStringLiteral("Unable to export combination #1 to %1.\n").arg(answer)),
           qPrintable(alert->text()));
  QVERIFY(alert->text().size() >
          QStringLiteral("Unable to export combination #1 to %1.\n").arg(answer).size());
  alert->buttons().first()->click();

  // A new list of plans has no current row until one is chosen.
  controller.setCombinations(MakeCombinations());
  QVERIFY(!controller.exportPlanButton()->isEnabled());
}

QTEST_MAIN(ResultsViewTest)
#include "ResultsViewTest.moc"
