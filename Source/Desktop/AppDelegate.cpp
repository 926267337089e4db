#include "Source/Desktop/AppDelegate.h"

#include "Source/Desktop/CostFinderWindowController.h"

namespace Corvalle::Desktop {

AppDelegate::AppDelegate(std::string marketplaceHost_, QObject* parent)
    : QObject(parent), marketplaceHost(std::move(marketplaceHost_)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
  windowController = std::make_unique<CostFinderWindowController>(marketplaceHost);
  windowController->show();
}

}  // namespace Corvalle::Desktop
