#include "SearchRunner.h"

#include <exception>

#include "Formatting.h"
#include "Logging.h"

namespace Corvalle::Desktop {

namespace {

// Runs a change on the main thread, after the events already queued; dropped when the context
// is gone by then.
template <typename Change>
void PostToMainThread(QObject* context, Change change) {
  QMetaObject::invokeMethod(context, std::move(change), Qt::QueuedConnection);
}

}  // namespace

SearchRunner::SearchRunner(std::string marketplaceHost_, QObject* parent)
    : QObject(parent), marketplaceHost(std::move(marketplaceHost_)) {}

SearchRunner::~SearchRunner() {
  if (searchThread.joinable()) {
    searchThread.join();
  }
}

void SearchRunner::start(SearchRequest request, CostFinderCallbacks callbacks) {
  if (running) {
    return;
  }
  if (searchThread.joinable()) {
    searchThread.join();
  }
  running = true;
  searchThread = std::thread([this, request = std::move(request),
                              callbacks = std::move(callbacks)] { run(request, callbacks); });
}

void SearchRunner::run(const SearchRequest& request, const CostFinderCallbacks& callbacks) {
  Combinations combinations;
  try {
    costFinder.reset();
    costFinder =
        CreateCostFinder(request.wantedListPath, request.preferences, marketplaceHost, callbacks);
    costFinder->FindMinimumCostCombinations(request.threadCount);
    QStringList skipped;
    for (const BrickStore::SkippedLine& line : costFinder->SkippedLines()) {
      // The id comes from the file, which may hold control characters.
      skipped << QString::fromStdString(
          Utilities::ShowControlCharacters(BrickStore::DescribeSkippedLine(line)));
    }
    if (!skipped.isEmpty()) {
      PostToMainThread(this, [this, skipped] { emit linesSkipped(skipped); });
    }
    std::uint32_t position = 0;
    for (const auto& plan : costFinder->GetCombinationData()) {
      combinations.push_back(
          std::make_shared<const CombinationWrapper>(++position, *plan, marketplaceHost));
    }
  } catch (const std::exception& exception) {
    // Nothing may leave the search thread; the user learns what went wrong.
    BOOST_LOG_TRIVIAL(error) << "The search failed: " << exception.what();
    combinations.clear();
    PostToMainThread(
        this, [this, message = QString::fromUtf8(exception.what())] { emit failed(message); });
  }
  PostToMainThread(this, [this, combinations = std::move(combinations)] {
    running = false;
    emit finished(combinations);
  });
}

}  // namespace Corvalle::Desktop
