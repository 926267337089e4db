#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace Utilities {
class IStatusUpdate;
}

namespace Corvalle {
struct LiveBounds;
}

namespace Corvalle::Desktop {

class IErrorHandler;

// The status view: the stage of the running search and the progress inside it, each as a line
// of text over a progress bar, while the plans are searched the cheapest found and the bound
// under every plan, and the stop, cancel and help buttons. Updates arrive on the threads that
// report them; every control change is posted to the main thread as an operation of its own,
// so the changes of one thread's updates appear in the order reported.
class CostFinderStatusViewController : public QWidget {
  Q_OBJECT

 public:
  // Progress bars count in millionths: 0.001 is a sliver, never an empty bar.
  static constexpr int kProgressScale = 1000000;

  explicit CostFinderStatusViewController(QWidget* parent = nullptr);

  // The object that shows failures (the main window); not owned, it must outlive this view.
  void setErrorHandler(IErrorHandler* handler);

  // Main thread. Empty texts, determinate bars at 0.001, stop and cancel disabled.
  void reset();
  // Main thread. Enables the cancel button before a search starts; stop waits for the search
  // of plans.
  void prepareForStatusUpdates();

  // Any thread. Apply an update to the stage line or to the step line. A failed update leaves
  // both lines as they are and hands its message to the error handler.
  void updateHighLevelStatus(const Utilities::IStatusUpdate& statusUpdate);
  void updateLowLevelStatus(const Utilities::IStatusUpdate& statusUpdate);
  // Any thread. Shows the bounds; the stop button is enabled while the search of plans runs,
  // until it was pressed.
  void updateSearchBounds(const LiveBounds& bounds);

 signals:
  // The stop button was pressed: the search of plans is to end with what it found.
  void stopRequested();

 public slots:
  // Restarts the program from its own executable a tenth of a second later and ends this
  // process at once; a search cannot be stopped from inside.
  void cancel();
  // Disables the stop button and asks for the stop.
  void stop();
  // Opens the usage help page.
  void help();

 private:
  void updateStatusWithStatusUpdate(const Utilities::IStatusUpdate& statusUpdate, QLabel* textField,
                                    QProgressBar* progressIndicator);

  QLabel* highLevelStatus;
  QProgressBar* highLevelProgress;
  QLabel* lowLevelStatus;
  QProgressBar* lowLevelProgress;
  QLabel* boundsStatus;
  QPushButton* stopButton;
  QPushButton* cancelButton;
  QPushButton* helpButton;
  IErrorHandler* errorHandler = nullptr;
  bool stopPressed = false;  // main thread; during the search that it stops
};

}  // namespace Corvalle::Desktop
