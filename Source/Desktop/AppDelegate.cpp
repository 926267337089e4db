#include "AppDelegate.h"

#include "CostFinderWindowController.h"

namespace Corvalle::Desktop {

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
  windowController = std::make_unique<CostFinderWindowController>();
  windowController->show();
}

}  // namespace Corvalle::Desktop
