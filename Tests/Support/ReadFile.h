#pragma once

#include <filesystem>
#include <string>

namespace Testing {

// The whole file, byte for byte; the empty text when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace Testing
