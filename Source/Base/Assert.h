#pragma once

// Broken internal invariants end the program with a record that names the function, the
// source file and the condition. Unlike assert(), these stay active in release builds:
// they guard data (the database, the results), where going on would be worse than stopping.

namespace Utilities {

[[noreturn]] void AssertionFailed(const char* condition, const char* function, const char* file,
                                  int line);

}  // namespace Utilities

#define CORVALLE_ASSERT(condition)    \
  ((condition) ? static_cast<void>(0) \
               : ::Utilities::AssertionFailed(#condition, __func__, __FILE__, __LINE__))
