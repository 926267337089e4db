#pragma once

#include <boost/log/trivial.hpp>

namespace Utilities {

using Severity = boost::log::trivial::severity_level;

// Sets the process-wide filter of the trivial logger: records below minimumSeverity are
// dropped, the rest go to standard error, one line each as "[date time] [thread] [level]
// message". Call once, from main, before any other thread starts; a second call changes nothing
// and writes an error record.
void InitializeLogging(Severity minimumSeverity);

}  // namespace Utilities
