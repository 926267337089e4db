#pragma once

#include <QObject>
#include <memory>

namespace Corvalle::Desktop {

class CostFinderWindowController;

// Creates and keeps the main window once the application loop runs.
class AppDelegate : public QObject {
  Q_OBJECT

 public:
  explicit AppDelegate(QObject* parent = nullptr);
  ~AppDelegate() override;

 public slots:
  void applicationDidFinishLaunching();

 private:
  std::unique_ptr<CostFinderWindowController> windowController;
};

}  // namespace Corvalle::Desktop
