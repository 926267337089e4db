#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <memory>
#include <vector>

#include "BrickLink/CombinationData.h"
#include "BrickLink/StoreInformation.h"
#include "CombinationCostFormatter.h"
#include "CombinationOutlineModel.h"
#include "CombinationWrapper.h"
#include "CostFinderResultsViewController.h"
#include "HyperlinkTextField.h"
#include "PreferencesManager.h"
#include "SQLite/SqliteWrapper.h"
#include "StoreTableCellView.h"
#include "TemporaryDirectory.h"

using namespace Corvalle;
using namespace Corvalle::Desktop;

namespace {

// Records the addresses that the program asks the platform to open.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void open(const QUrl& url) { opened.append(url); }
};

constexpr std::uint32_t kPalace = 1001;    // a store in the USA
constexpr std::uint32_t kKontor = 2002;    // a store in Germany
constexpr std::uint32_t kNameless = 3003;  // a store without metadata

}  // namespace

class ResultsViewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void wrappersComputeTheirTexts();
  void formatterBoldsTheCost();
  void modelPassesTheTesterAndShowsEveryRow();
  void viewExpandsCombinationsAndShowsStoreCells();
  void hyperlinkHoversAndOpensItsAddress();
  void wantedListIdParsing_data();
  void wantedListIdParsing();
  void xmlSheetCopiesOrRefuses();
  void secondListReplacesTheFirst();
  void tipSheetButtonsFollowTheirAddresses();

 private:
  std::unique_ptr<BrickLink::ICombinationData> MakePlan(double cost) const;
  Combinations MakeCombinations() const;

  Testing::TemporaryDirectory dataDirectory;
  std::vector<Item> items;
  std::vector<std::unique_ptr<BrickLink::ICombinationData>> plans;
  UrlRecorder recorder;
};

void ResultsViewTest::initTestCase() {
  Sqlite::SetDataDirectory(dataDirectory.Path().c_str());
  // The prices are written in the saved currency.
  CreatePreferencesManager()->SetPreferences({3, "USA", "US Dollar", {"North America"}});
  BrickLink::ColorInformation::SetColorData(5, "Red", 0xC91A09);
  BrickLink::StoreInformation::SetStoreMetadata(kPalace, {"Brick Palace", "US"});
  BrickLink::StoreInformation::SetStoreMetadata(kKontor, {"Steine Kontor", "DE"});
  items.emplace_back(ItemType::Part, "3001", "Brick 2 x 4", 5, Condition::New, 10);
  items.emplace_back(ItemType::Part, "3622", "Brick 1 x 3", 0, Condition::Used, 4);
  plans.push_back(MakePlan(234.5));
  plans.push_back(MakePlan(300.25));
}

// Buys 8 of the red brick from the palace and 2 from the kontor, and 4 used bricks from a
// store the metadata table does not know.
std::unique_ptr<BrickLink::ICombinationData> ResultsViewTest::MakePlan(double cost) const {
  auto lots = std::make_unique<BrickLink::ICombinationData::LotsData>();
  lots->emplace_back(items[0], BrickLink::StoreInformation(kPalace), BrickLink::LotData{8, 100.5});
  lots->emplace_back(items[0], BrickLink::StoreInformation(kKontor), BrickLink::LotData{2, 117.0});
  lots->emplace_back(items[1], BrickLink::StoreInformation(kNameless), BrickLink::LotData{4, 0.25});
  return BrickLink::CreateCombinationData(
      {BrickLink::StoreInformation(kPalace), BrickLink::StoreInformation(kKontor),
       BrickLink::StoreInformation(kNameless)},
      cost, std::move(lots));
}

Combinations ResultsViewTest::MakeCombinations() const {
  Combinations combinations;
  std::uint32_t index = 0;
  for (const auto& plan : plans) {
    combinations.push_back(std::make_shared<const CombinationWrapper>(++index, *plan));
  }
  return combinations;
}

void ResultsViewTest::wrappersComputeTheirTexts() {
  const CombinationWrapper combination(1, *plans[0]);
  QCOMPARE(combination.index(), 1u);
  QCOMPARE(combination.minimumCost(), QStringLiteral("$234.50"));
  QCOMPARE(combination.storeData().size(), std::size_t{3});

  const StoreWrapper& palace = *combination.storeData()[0];
  QCOMPARE(palace.storeID(), kPalace);
  QCOMPARE(palace.store(), QStringLiteral("Brick Palace"));
  QCOMPARE(palace.country(), QStringLiteral("USA"));
  QVERIFY(palace.storeUrl().endsWith(QStringLiteral("/store.asp?sID=1001")));
  QCOMPARE(palace.lotsData().size(), std::size_t{1});
  const LotDataWrapper& lot = *palace.lotsData()[0];
  QCOMPARE(lot.quantity(), QStringLiteral("8"));
  QCOMPARE(lot.price(), QStringLiteral("$100.50"));
  QCOMPARE(lot.condition(), QStringLiteral("New"));
  QCOMPARE(lot.partNumber(), QStringLiteral("3001"));
  QCOMPARE(lot.color(), QStringLiteral("Red"));
  QCOMPARE(lot.part(), QStringLiteral("Brick 2 x 4"));

  QCOMPARE(combination.storeData()[1]->country(), QStringLiteral("Germany"));
  // A store missing from the store table: the fixed name, and no country lookup that throws.
  const StoreWrapper& nameless = *combination.storeData()[2];
  QCOMPARE(nameless.store(), QString::fromLatin1(BrickLink::StoreInformation::kUnknownStoreName));
  QCOMPARE(nameless.country(), QStringLiteral("Unknown country"));
  const LotDataWrapper& used = *nameless.lotsData()[0];
  QCOMPARE(used.condition(), QStringLiteral("Used"));
  QCOMPARE(used.color(), QStringLiteral("N/A"));
  QCOMPARE(used.price(), QStringLiteral("$0.25"));

  QCOMPARE(palace.CreateWantedListXml(77),
           QString::fromStdString(plans[0]->CreateWantedListXml(kPalace, 77)));
}

void ResultsViewTest::formatterBoldsTheCost() {
  const CombinationWrapper combination(7, *plans[1]);
  const CombinationCostFormatter formatter;
  QCOMPARE(formatter.stringForObjectValue(&combination),
           QStringLiteral("Combination #7 - Total Cost: $300.25"));
  QCOMPARE(formatter.stringForObjectValue(nullptr), QString());
  const auto attributed = formatter.attributedStringForObjectValue(&combination);
  QCOMPARE(attributed.text.mid(attributed.boldFrom), QStringLiteral("$300.25"));
  QCOMPARE(attributed.pixelSize, 12);
  QCOMPARE(CombinationCostFormatter::ToHtml(attributed),
           QStringLiteral("<span style=\"font-size:12px\">Combination #7 - Total Cost: "
                          "<b>$300.25</b></span>"));
}

void ResultsViewTest::modelPassesTheTesterAndShowsEveryRow() {
  CombinationOutlineModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
  model.setCombinations(MakeCombinations());
  QCOMPARE(model.rowCount(), 2);
  QCOMPARE(model.columnCount(), 6);

  const QModelIndex first = model.index(0, 0);
  QCOMPARE(model.data(first).toString(), QStringLiteral("Combination #1 - Total Cost: $234.50"));
  QCOMPARE(model.data(model.index(1, 0)).toString(),
           QStringLiteral("Combination #2 - Total Cost: $300.25"));
  QCOMPARE(model.rowCount(first), 3);
  // Only column 0 of a group row has children.
  QCOMPARE(model.rowCount(model.index(0, 1)), 0);

  const QModelIndex kontor = model.index(1, 0, first);
  QCOMPARE(model.kindOf(kontor), CombinationOutlineModel::RowKind::Store);
  QCOMPARE(model.data(kontor).toString(), QStringLiteral("Steine Kontor (Germany)"));
  QCOMPARE(model.parent(kontor), first);
  QCOMPARE(model.rowCount(kontor), 1);

  const QModelIndex line = model.index(0, 0, kontor);
  QCOMPARE(model.parent(line), kontor);
  QVERIFY(model.flags(line).testFlag(Qt::ItemNeverHasChildren));
  QStringList texts;
  for (int column = 0; column < model.columnCount(); ++column) {
    texts << model.data(model.index(0, column, kontor)).toString();
  }
  QCOMPARE(texts, (QStringList{"2", "$117.00", "New", "3001", "Red", "Brick 2 x 4"}));
  QCOMPARE(CombinationOutlineModel::columnIdentifier(CombinationOutlineModel::PartNumberColumn),
           QStringLiteral("partNumber"));

  model.setCombinations({});
  QCOMPARE(model.rowCount(), 0);
  QVERIFY(!model.index(0, 0).isValid());
}

void ResultsViewTest::viewExpandsCombinationsAndShowsStoreCells() {
  CostFinderResultsViewController controller(MakeCombinations(), TipTargets{});
  controller.show();
  QTreeView* outline = controller.outLineView();
  CombinationOutlineModel* model = controller.model();
  // Expansion happens after the first load, on the event loop.
  QTRY_VERIFY(outline->isExpanded(model->index(0, 0)));
  QVERIFY(outline->isExpanded(model->index(1, 0)));
  QVERIFY(!outline->isExpanded(model->index(0, 0, model->index(0, 0))));

  const QModelIndex palace = model->index(0, 0, model->index(0, 0));
  StoreTableCellView* cell = controller.storeCellView(palace);
  QVERIFY(cell != nullptr);
  QCOMPARE(cell->storeLink()->text(), QStringLiteral("Brick Palace"));
  QCOMPARE(cell->countryLabel()->text(), QStringLiteral(" (USA)"));
  // The country follows the link directly.
  QCOMPARE(cell->countryLabel()->x(), cell->storeLink()->width());
  QCOMPARE(cell->storeLink()->width(), cell->storeLink()->sizeHint().width());
  QVERIFY(cell->storeLink()->font().underline());
  QCOMPARE(outline->visualRect(palace).height(), 19);
  QCOMPARE(outline->visualRect(model->index(0, 0)).height(), 19);

  auto* label = qobject_cast<QLabel*>(outline->indexWidget(model->index(0, 0)));
  QVERIFY(label != nullptr);
  QVERIFY(label->text().contains(QStringLiteral("<b>$234.50</b>")));

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
  QCOMPARE(link->width(), link->sizeHint().width());
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

void ResultsViewTest::wantedListIdParsing_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("accepted");
  QTest::addColumn<uint>("value");
  QTest::newRow("plain") << "12345" << true << 12345u;
  QTest::newRow("blanks around") << " 42 " << true << 42u;
  QTest::newRow("line breaks and tabs") << "\n\t7\r\n" << true << 7u;
  QTest::newRow("plus sign") << "+9" << true << 9u;
  QTest::newRow("zero") << "0" << true << 0u;
  QTest::newRow("largest") << "4294967295" << true << 4294967295u;
  QTest::newRow("one too large") << "4294967296" << false << 0u;
  QTest::newRow("far too large") << "123456789012345678901234567890" << false << 0u;
  QTest::newRow("negative") << "-5" << false << 0u;
  QTest::newRow("letters after") << "12a" << false << 0u;
  QTest::newRow("nothing") << "" << false << 0u;
  QTest::newRow("only blanks") << "   " << false << 0u;
  QTest::newRow("fraction") << "1.5" << false << 0u;
  QTest::newRow("sign only") << "+" << false << 0u;
  QTest::newRow("two signs") << "++1" << false << 0u;
  QTest::newRow("inner blank") << "1 2" << false << 0u;
  QTest::newRow("arabic-indic digits") << QString::fromUtf8("\xD9\xA1\xD9\xA2") << false << 0u;
}

void ResultsViewTest::wantedListIdParsing() {
  QFETCH(QString, text);
  QFETCH(bool, accepted);
  QFETCH(uint, value);
  const auto parsed = ParseWantedListId(text);
  QCOMPARE(parsed.has_value(), accepted);
  if (accepted) {
    QCOMPARE(*parsed, value);
  }
}

void ResultsViewTest::xmlSheetCopiesOrRefuses() {
  CostFinderResultsViewController controller(MakeCombinations(), TipTargets{});
  controller.show();
  QCOMPARE(controller.enteredWantedListID(), CostFinderResultsViewController::kNoWantedListID);
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
  QCOMPARE(controller.enteredWantedListID(), 2147483647u);

  clipboard->setText(QStringLiteral("untouched"));
  int refusals = 0;
  for (const QString& text : {QStringLiteral("12a"), QString(), QStringLiteral("1.5"),
                              QStringLiteral("-5"), QStringLiteral("4294967296")}) {
    field->setText(text);
    copy->click();
    QVERIFY2(sheet->isVisible(), qPrintable(text));
    QCOMPARE(field->text(), text);
    QCOMPARE(rejected.count(), ++refusals);
    QCOMPARE(clipboard->text(), QStringLiteral("untouched"));
  }
  QCOMPARE(controller.enteredWantedListID(), 2147483647u);

  field->clear();
  QTest::keyClicks(field, QStringLiteral("12345"));
  copy->click();
  QVERIFY(!sheet->isVisible());
  QCOMPARE(field->text(), QString());
  QCOMPARE(controller.enteredWantedListID(), 12345u);
  const QString expected = QStringLiteral(
      "<INVENTORY>\n <ITEM>\n  <ITEMID>3001</ITEMID>\n  <ITEMTYPE>P</ITEMTYPE>\n"
      "  <COLOR>5</COLOR>\n  <MINQTY>2</MINQTY>\n  <WANTEDLISTID>12345</WANTEDLISTID>\n"
      " </ITEM>\n</INVENTORY>");
  QCOMPARE(clipboard->text(), expected);

  // Blanks around a number are fine.
  cell->xmlButton()->click();
  QVERIFY(sheet->isVisible());
  field->setText(QStringLiteral(" 42 "));
  copy->click();
  QVERIFY(!sheet->isVisible());
  QCOMPARE(controller.enteredWantedListID(), 42u);
  QVERIFY(clipboard->text().contains(QStringLiteral("<WANTEDLISTID>42</WANTEDLISTID>")));

  // Cancel leaves the clipboard alone.
  cell->xmlButton()->click();
  field->setText(QStringLiteral("99"));
  cancel->click();
  QVERIFY(!sheet->isVisible());
  QVERIFY(clipboard->text().contains(QStringLiteral("<WANTEDLISTID>42</WANTEDLISTID>")));
}

void ResultsViewTest::secondListReplacesTheFirst() {
  CostFinderResultsViewController controller(MakeCombinations(), TipTargets{});
  controller.show();
  Combinations second;
  second.push_back(std::make_shared<const CombinationWrapper>(1, *plans[1]));
  controller.setCombinations(second);
  QCOMPARE(controller.model()->rowCount(), 1);
  QCOMPARE(controller.model()->data(controller.model()->index(0, 0)).toString(),
           QStringLiteral("Combination #1 - Total Cost: $300.25"));
  QVERIFY(controller.outLineView()->isExpanded(controller.model()->index(0, 0)));
  QVERIFY(controller.storeCellView(
              controller.model()->index(0, 0, controller.model()->index(0, 0))) != nullptr);
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
  QTRY_VERIFY((alert = controller.findChild<QMessageBox*>(QStringLiteral("tipAlert"))) != nullptr);
  QTRY_VERIFY(alert->isVisible());
  QCOMPARE(alert->text(), QStringLiteral("Please install a Dogecoin client."));
  QCOMPARE(alert->informativeText(), QString());
  QCOMPARE(alert->buttons().size(), 1);
  QCOMPARE(alert->buttons().first()->text(), QStringLiteral("OK"));
  alert->buttons().first()->click();
}

QTEST_MAIN(ResultsViewTest)
#include "ResultsViewTest.moc"
