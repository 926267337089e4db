#include "Source/Base/Assert.h"

#include <boost/log/trivial.hpp>
#include <cstdio>
#include <cstdlib>

namespace Utilities {

void AssertionFailed(const char* condition, const char* function, const char* file, int line) {
  BOOST_LOG_TRIVIAL(fatal) << "Assertion failed: (" << condition << "), function " << function
                           << ", file " << file << ", line " << line << ".";
  // The log may be filtered or buffered; the reason for the abort must reach the user anyway.
  std::fprintf(stderr, "Assertion failed: (%s), function %s, file %s, line %d.\n", condition,
               function, file, line);
  std::abort();
}

}  // namespace Utilities
