#include "Tests/Support/TemporaryDirectory.h"

#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

namespace Testing {

TemporaryDirectory::TemporaryDirectory() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate =
        std::filesystem::temp_directory_path() / ("corvalle-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path = std::move(candidate);
      return;
    }
  }
  throw std::runtime_error("Unable to create a temporary directory");
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::filesystem::path TemporaryDirectory::WriteFile(const std::string& name,
                                                    const std::string& text) const {
  const auto filePath = path / name;
  std::ofstream file(filePath, std::ios::binary);
  file << text;
  if (!file) {
    throw std::runtime_error("Unable to write " + filePath.string());
  }
  return filePath;
}

}  // namespace Testing
