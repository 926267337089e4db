#pragma once

#include <filesystem>
#include <string>

namespace Testing {

// A fresh, empty directory under the system's temporary directory, removed with everything
// in it when the object goes.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& Path() const { return path; }
  // Writes text to a file of the directory and returns its path.
  std::filesystem::path WriteFile(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path path;
};

}  // namespace Testing
