#include <QSignalSpy>
#include <QTest>

#include "Source/Desktop/StoreCountChart.h"

namespace Corvalle::Desktop {

class StoreCountChartTest : public QObject {
  Q_OBJECT

 private slots:
  void barsFollowTheCostsAndAClickChoosesOne();
};

void StoreCountChartTest::barsFollowTheCostsAndAClickChoosesOne() {
  StoreCountChart chart;
  chart.resize(400, 160);
  QCOMPARE(chart.chosenStores(), 0u);
  QCOMPARE(chart.barRect(0), QRect());

  // The plans behind each bar are told along with its number; empty lists stand for them here.
  chart.setBars({{2, 40.0, QStringLiteral("$40.00"), {}},
                 {3, 30.0, QStringLiteral("$30.00"), {}},
                 {4, 20.0, QStringLiteral("$20.00"), {}}},
                3);
  QCOMPARE(chart.chosenStores(), 3u);
  // Heights in proportion to the totals, left to right by number of stores, on one baseline.
  const QRect two = chart.barRect(0);
  const QRect three = chart.barRect(1);
  const QRect four = chart.barRect(2);
  QVERIFY(two.left() < three.left() && three.left() < four.left());
  QCOMPARE(two.bottom(), four.bottom());
  QVERIFY(two.height() > three.height() && three.height() > four.height());
  QVERIFY(std::abs(four.height() * 2 - two.height()) <= 2);
  QVERIFY(!chart.grab().isNull());

  QSignalSpy chosen(&chart, &StoreCountChart::storesChosen);
  // Above a low bar counts as the bar.
  QTest::mouseClick(&chart, Qt::LeftButton, {}, QPoint(four.center().x(), 5));
  QCOMPARE(chosen.count(), 1);
  QCOMPARE(chosen.takeFirst().at(0).value<std::uint32_t>(), 4u);
  QCOMPARE(chart.chosenStores(), 4u);
  // Between the bars nothing is chosen; a number without a bar neither.
  QTest::mouseClick(&chart, Qt::LeftButton, {}, QPoint(two.right() + 3, two.center().y()));
  chart.chooseStores(7);
  QCOMPARE(chosen.count(), 0);
  QCOMPARE(chart.chosenStores(), 4u);

  // New bars without the number chosen highlight none.
  chart.setBars({{1, 5.0, QStringLiteral("$5.00"), {}}}, 2);
  QCOMPARE(chart.chosenStores(), 0u);
}

}  // namespace Corvalle::Desktop

QTEST_MAIN(Corvalle::Desktop::StoreCountChartTest)
#include "StoreCountChartTest.moc"
