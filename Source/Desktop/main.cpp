#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "AppDelegate.h"
#include "Logging.h"

int main(int argc, char* argv[]) {
  Utilities::InitializeLogging(boost::log::trivial::info);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvalle"));
  QApplication::setDesktopFileName(QStringLiteral("corvalle-desktop"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/corvalle-desktop.png")));
  Corvalle::Desktop::AppDelegate delegate;
  QTimer::singleShot(0, &delegate, &Corvalle::Desktop::AppDelegate::applicationDidFinishLaunching);
  return QApplication::exec();
}
