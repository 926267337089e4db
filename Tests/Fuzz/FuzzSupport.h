#pragma once

// Shared by the fuzz entry points, which run both under libFuzzer and in the replay test.

#include <boost/log/core.hpp>
#include <cstddef>
#include <cstdint>
#include <string>

namespace Corvalle::Fuzz {

// The parsers log every unreadable input; at tens of thousands of inputs a second the log would
// cost more than the parsing and bury libFuzzer's own report.
inline void SilenceLogging() {
  static const bool silenced = [] {
    boost::log::core::get()->set_logging_enabled(false);
    return true;
  }();
  static_cast<void>(silenced);
}

inline std::string AsText(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace Corvalle::Fuzz
