#include "Tests/Support/ReadFile.h"

#include <fstream>
#include <sstream>

namespace Testing {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace Testing
