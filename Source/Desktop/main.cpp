#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "Source/Desktop/AppDelegate.h"
#include "Source/Base/BrickLink/MarketplaceHost.h"
#include "Source/Base/Logging.h"

int main(int argc, char* argv[]) {
  Utilities::InitializeLogging(boost::log::trivial::info);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvalle"));
  QApplication::setDesktopFileName(QStringLiteral("corvalle-desktop"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/corvalle-desktop.png")));
  // The one place that reads where the marketplace is; everything after is handed it.
  Corvalle::Desktop::AppDelegate delegate(Corvalle::BrickLink::GetMarketplaceHost());
  QTimer::singleShot(0, &delegate, &Corvalle::Desktop::AppDelegate::applicationDidFinishLaunching);
  return QApplication::exec();
}
