#pragma once

#include <QString>

namespace Corvalle::Desktop {

// What shows the user a failure: the main window, as an alert. May be called from any thread;
// the alert itself appears on the main thread.
class IErrorHandler {
 public:
  IErrorHandler() = default;
  IErrorHandler(const IErrorHandler&) = delete;
  IErrorHandler& operator=(const IErrorHandler&) = delete;
  virtual ~IErrorHandler() = default;

  virtual void handleError(const QString& message) = 0;
};

}  // namespace Corvalle::Desktop
