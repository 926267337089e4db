#pragma once

#include <QObject>
#include <memory>
#include <string>

namespace Corvalle::Desktop {

class CostFinderWindowController;

// Creates and keeps the main window once the application loop runs.
class AppDelegate : public QObject {
  Q_OBJECT

 public:
  explicit AppDelegate(std::string marketplaceHost_, QObject* parent = nullptr);
  ~AppDelegate() override;

 public slots:
  void applicationDidFinishLaunching();

 private:
  const std::string marketplaceHost;
  std::unique_ptr<CostFinderWindowController> windowController;
};

}  // namespace Corvalle::Desktop
