#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace Testing {

// Sets (or, with a null value, removes) an environment variable for the life of the object and
// restores the earlier state after.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name_, const char* value) : name(name_) {
    if (const char* old = std::getenv(name)) {
      previous = old;
    }
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  }
  ~ScopedEnvironment() {
    if (previous) {
      setenv(name, previous->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name;
  std::optional<std::string> previous;
};

}  // namespace Testing
