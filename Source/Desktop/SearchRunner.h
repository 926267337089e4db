#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <QStringList>
#include <vector>

#include "Source/Desktop/CombinationWrapper.h"
#include "Source/Base/CostFinder.h"
#include "Source/Desktop/StoreCountChart.h"

namespace Corvalle::Desktop {

// What one search needs, read from the window's controls on the main thread when it starts.
struct SearchRequest {
  std::string wantedListPath;
  Preferences preferences;
  std::uint32_t threadCount = 1;
  // Whether to find the cheapest plan of every number of stores up to k as well.
  bool byStores = true;
  // Whether to search the rest of the list when items cannot be bought in the regions chosen.
  bool skipUnavailable = false;
};

// What a search found beyond the plans of k stores.
struct SearchExtrasFound {
  std::vector<StoreCountBar> bars;  // ascending numbers of stores; empty without a sweep
  std::uint32_t stores = 0;         // the number of stores of the plans found (k)
  // The items the regions chosen cannot supply, one line each, and whether the search left
  // them out (else it failed for them).
  QStringList unavailable;
  bool leftOut = false;
  // The settings that the search refused, which were then not saved; empty otherwise, when the
  // search's settings were saved as the user's, unless saving them failed, which
  // settingsNotSaved tells.
  std::vector<RefusedSetting> refused;
  QString settingsNotSaved;
  // For plans that a stop ended the search of before they were proven the cheapest: what is
  // known of them, as the command line says it; empty when they are proven.
  QString proof;
};

// Runs the main window's searches, one at a time, each on a thread of its own, and keeps the
// last search's cost finder, which owns the plans behind the wrappers it handed out, until the
// next search starts. The outcome arrives on the main thread: linesSkipped() when the wanted
// list had lines left out, failed() when the search threw, then always finished(). Main thread
// only; the callbacks run on the search's threads.
class SearchRunner : public QObject {
  Q_OBJECT

 public:
  // Searches the marketplace at marketplaceHost (with ":port" when needed), through the cost
  // finders that createCostFinder_ makes.
  SearchRunner(std::string marketplaceHost_, CostFinderFactory createCostFinder_,
               QObject* parent = nullptr);
  // Waits for a search that is still running.
  ~SearchRunner() override;

  // From start() until finished() was emitted.
  bool isRunning() const { return running; }

  // Starts a search unless one is running. The previous search's cost finder goes first, so
  // its wrappers must no longer be in use.
  void start(SearchRequest request, CostFinderCallbacks callbacks);
  // Ends the running search's search of plans early; it goes on to show the plans found so
  // far (see ICostFinder::Stop). Nothing when no search runs.
  void stop();

 signals:
  // The wanted list's lines left out on purpose, each described as "Line 4 (item 3001)
  // skipped: MINQTY is 0"; not emitted when there are none.
  void linesSkipped(const QStringList& lines);
  // The search could not run; message says why. finished() follows with no plans.
  void failed(const QString& message);
  // What the search found beyond the plans; comes just before finished().
  void extrasFound(const SearchExtrasFound& extras);
  // The plans found, cheapest first; empty when there are none.
  void finished(const Combinations& combinations);

 private:
  // The search, on the search thread.
  void run(const SearchRequest& request, const CostFinderCallbacks& callbacks);

  const std::string marketplaceHost;
  const CostFinderFactory createCostFinder;
  // Written by the search thread while it runs, otherwise by the main thread; the two never
  // overlap because a search starts only after the previous thread was joined. Replaced under
  // the mutex, which stop() takes to reach it from the main thread.
  std::unique_ptr<ICostFinder> costFinder;
  std::mutex costFinderMutex;
  std::thread searchThread;
  bool running = false;  // main thread
};

}  // namespace Corvalle::Desktop
