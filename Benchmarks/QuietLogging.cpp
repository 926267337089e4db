// The benchmarks measure work, not log output: only errors are written, set once for the whole
// program before the first benchmark runs.

#include "Source/Base/Logging.h"

namespace {

const bool kLoggingInitialized = [] {
  Utilities::InitializeLogging(Utilities::Severity::error);
  return true;
}();

}  // namespace
