#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "Source/Base/CostFinder.h"
#include "Source/Desktop/CostFinderStatusViewController.h"
#include "Source/Desktop/ErrorHandler.h"
#include "Tests/Support/LogCapture.h"
#include "Source/Base/StatusUpdate.h"
#include "Tests/Support/TemporaryDirectory.h"
#include "Tests/Support/UrlRecorder.h"

using namespace Corvalle::Desktop;
using Utilities::StatusState;
using Utilities::StatusUpdate;

namespace {

class RecordingErrorHandler : public IErrorHandler {
 public:
  void handleError(const QString& message) override { messages.append(message); }
  QStringList messages;
};

constexpr int kScale = CostFinderStatusViewController::kProgressScale;

}  // namespace

class StatusViewTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void startsEmptyAndResets();
  void updatesArriveFromOtherThreadsInOrder();
  void progressBarsFollowTheUpdates();
  void failureLeavesTheLinesAndCallsTheHandler();
  void stopIsOfferedWhileThePlansAreSearchedAndOnce();
  void helpOpensTheShippedPage();
  void cancelRestartsTheProgramAtOnce();

 private:
  QLabel* Field(const char* name) const {
    return view->findChild<QLabel*>(QString::fromLatin1(name));
  }
  QProgressBar* Bar(const char* name) const {
    return view->findChild<QProgressBar*>(QString::fromLatin1(name));
  }

  std::unique_ptr<CostFinderStatusViewController> view;
  RecordingErrorHandler errors;
};

void StatusViewTest::init() {
  view = std::make_unique<CostFinderStatusViewController>();
  view->setErrorHandler(&errors);
  errors.messages.clear();
}

void StatusViewTest::cleanup() { view.reset(); }

void StatusViewTest::startsEmptyAndResets() {
  QCOMPARE(Field("highLevelStatus")->text(), QString());
  QCOMPARE(Bar("highLevelProgress")->value(), kScale / 1000);
  // Cancel is offered during a search and taken back after it: WindowTest sees both.
  QVERIFY(!view->findChild<QPushButton*>(QStringLiteral("cancelButton"))->isEnabled());

  view->updateHighLevelStatus(StatusUpdate(3, 10, "Consolidating lot data..."));
  view->updateLowLevelStatus(StatusUpdate(StatusState::InProgress, "Pruning..."));
  QTRY_COMPARE(Field("lowLevelStatus")->text(), QStringLiteral("Pruning..."));
  // A remark of the wanted list is shown as it is written, never as markup.
  const std::string remark = "Requesting data for: <img src=\"/etc/passwd\"> <b>3001</b>...";
  view->updateLowLevelStatus(StatusUpdate(StatusState::InProgress, remark));
  QTRY_COMPARE(Field("lowLevelStatus")->text(), QString::fromStdString(remark));
  QCOMPARE(Field("lowLevelStatus")->textFormat(), Qt::PlainText);
  QCOMPARE(Field("highLevelStatus")->textFormat(), Qt::PlainText);
  view->reset();
  QCOMPARE(Field("highLevelStatus")->text(), QString());
  QCOMPARE(Field("lowLevelStatus")->text(), QString());
  for (const char* name : {"highLevelProgress", "lowLevelProgress"}) {
    QCOMPARE(Bar(name)->maximum(), kScale);
    QCOMPARE(Bar(name)->value(), kScale / 1000);
  }
}

void StatusViewTest::updatesArriveFromOtherThreadsInOrder() {
  std::thread reporter([this] {
    view->updateHighLevelStatus(StatusUpdate(1, 10, "Parsing wanted list..."));
    for (std::uint32_t step = 0; step <= 100; ++step) {
      view->updateLowLevelStatus(StatusUpdate(step, 100, "Step " + std::to_string(step)));
    }
    view->updateHighLevelStatus(StatusUpdate(2, 10, "Retrieving price guide data..."));
  });
  reporter.join();
  // Nothing touched the controls on the reporting thread.
  QCOMPARE(Field("highLevelStatus")->text(), QString());
  QTRY_COMPARE(Field("highLevelStatus")->text(), QStringLiteral("Retrieving price guide data..."));
  QCOMPARE(Field("lowLevelStatus")->text(), QStringLiteral("Step 100"));
  QCOMPARE(Bar("lowLevelProgress")->value(), kScale);
  QCOMPARE(Bar("highLevelProgress")->value(), kScale / 5);
}

void StatusViewTest::progressBarsFollowTheUpdates() {
  Testing::LogCapture log;
  // In progress without a message clears the line and shows a busy bar.
  view->updateLowLevelStatus(StatusUpdate("Downloading", 0.5));
  QTRY_COMPARE(Field("lowLevelStatus")->text(), QStringLiteral("Downloading"));
  QCOMPARE(Bar("lowLevelProgress")->value(), kScale / 2);
  view->updateLowLevelStatus(StatusUpdate(StatusState::InProgress));
  QTRY_COMPARE(Field("lowLevelStatus")->text(), QString());
  QCOMPARE(Bar("lowLevelProgress")->maximum(), 0);  // busy
  // Exactly 0.0 shows a sliver.
  view->updateLowLevelStatus(StatusUpdate(0.0));
  QTRY_COMPARE(Bar("lowLevelProgress")->maximum(), kScale);
  QCOMPARE(Bar("lowLevelProgress")->value(), kScale / 1000);
  QVERIFY(!log.Contains("info", "Operation completed successfully!"));
  view->updateLowLevelStatus(StatusUpdate(StatusState::Succeeded));
  QTRY_COMPARE(Bar("lowLevelProgress")->value(), kScale);
  QVERIFY(log.Contains("info", "Operation completed successfully!"));
}

void StatusViewTest::stopIsOfferedWhileThePlansAreSearchedAndOnce() {
  auto* stop = view->findChild<QPushButton*>(QStringLiteral("stopButton"));
  QVERIFY(stop != nullptr);
  // WindowTest sees the stop refused when idle and reaching the search when clicked.
  view->prepareForStatusUpdates();
  std::thread worker([this] {
    view->updateSearchBounds({true, 12.3456, 11.9, "cheapest $12.35, none below $11.90"});
  });
  worker.join();
  QTRY_VERIFY(stop->isEnabled());
  QCOMPARE(Field("boundsStatus")->text(),
           QStringLiteral("Search of plans: cheapest $12.35, none below $11.90"));
  stop->click();
  QVERIFY(!stop->isEnabled());
  // The workers keep reporting until they notice: the stop is not offered again.
  view->updateSearchBounds({true, 12.0, 11.9, "cheapest $12.00, none below $11.90"});
  QTRY_COMPARE(Field("boundsStatus")->text(),
               QStringLiteral("Search of plans: cheapest $12.00, none below $11.90"));
  QVERIFY(!stop->isEnabled());
  // The next search offers it again once its plans are searched, and no longer after.
  view->prepareForStatusUpdates();
  QCOMPARE(Field("boundsStatus")->text(), QString());
  view->updateSearchBounds({true, 13.0, 0.0, "cheapest $13.00"});
  QTRY_VERIFY(stop->isEnabled());
  view->updateSearchBounds({});
  QTRY_VERIFY(!stop->isEnabled());
}

void StatusViewTest::failureLeavesTheLinesAndCallsTheHandler() {
  view->updateHighLevelStatus(StatusUpdate(1, 10, "Parsing wanted list..."));
  QTRY_COMPARE(Field("highLevelStatus")->text(), QStringLiteral("Parsing wanted list..."));
  const int value = Bar("highLevelProgress")->value();
  view->updateHighLevelStatus(
      StatusUpdate(StatusState::Failed, "Unable to read items from file :("));
  QCOMPARE(errors.messages, QStringList{QStringLiteral("Unable to read items from file :(")});
  // Changes reach the controls in the order they were posted: once a later update shows, any
  // change the failed one had posted would have arrived.
  view->updateLowLevelStatus(StatusUpdate(StatusState::InProgress, "Later"));
  QTRY_COMPARE(Field("lowLevelStatus")->text(), QStringLiteral("Later"));
  QCOMPARE(Field("highLevelStatus")->text(), QStringLiteral("Parsing wanted list..."));
  QCOMPARE(Bar("highLevelProgress")->value(), value);
}

void StatusViewTest::helpOpensTheShippedPage() {
  Testing::UrlRecorder recorder;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
  view->findChild<QPushButton*>(QStringLiteral("helpButton"))->click();
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  QCOMPARE(recorder.opened.size(), 1);
  const QFileInfo page(recorder.opened.first().toLocalFile());
  QVERIFY(page.isFile());
  QFile file(page.filePath());
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  for (const char* topic : {"Stores per combination", "Ship From Regions", "XML", "Cancel"}) {
    QVERIFY2(text.contains(topic), topic);
  }
}

void StatusViewTest::cancelRestartsTheProgramAtOnce() {
  // This program, copied to a path that would be shell syntax inside the relaunch's command
  // text and started again in probe mode, presses cancel while a thread that never ends runs;
  // the instance that cancel starts says so through a second file.
  const Testing::TemporaryDirectory directory;
  const QString marker = QString::fromStdString((directory.Path() / "probe").string());
  const QString copy = QString::fromStdString((directory.Path() / "we'ird $(name) \"x\"").string());
  QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
  QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner));
  QProcess probe;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("CORVALLE_CANCEL_PROBE"), marker);
  probe.setProcessEnvironment(environment);
  // The relaunched instance inherits the output channels; keep them open after the probe ends.
  probe.setProcessChannelMode(QProcess::ForwardedChannels);
  probe.start(copy, QStringList());
  QVERIFY(probe.waitForFinished(10000));
  QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
  QCOMPARE(probe.exitCode(), 0);
  QVERIFY(QFile::exists(marker));
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker + QStringLiteral(".relaunched")), 10000);
}

namespace {

void Touch(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    std::abort();
  }
}

// The first instance presses cancel with a busy search thread; the relaunched one reports.
int RunCancelProbe(int argc, char* argv[], const QString& marker) {
  QApplication application(argc, argv);
  if (QFile::exists(marker)) {
    Touch(marker + QStringLiteral(".relaunched"));
    return 0;
  }
  Touch(marker);
  std::thread search([] {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
  });
  CostFinderStatusViewController view;
  view.prepareForStatusUpdates();
  view.findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
  search.join();
  return 3;  // not reached: cancel ends the process
}

}  // namespace

int main(int argc, char* argv[]) {
  if (const char* marker = std::getenv("CORVALLE_CANCEL_PROBE")) {
    return RunCancelProbe(argc, argv, QString::fromLocal8Bit(marker));
  }
  QApplication application(argc, argv);
  StatusViewTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "StatusViewTest.moc"
