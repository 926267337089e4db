#include "Source/Base/BrickLink/ColorInformation.h"

#include <map>
#include <mutex>
#include <shared_mutex>
#include <utility>

namespace Corvalle::BrickLink {

namespace {

// The colour table and the lock that guards it: written by a search's thread, read by every
// thread that shows a colour (workers, the window, the command line's report).
struct ColorTable {
  std::shared_mutex mutex;
  std::map<std::uint32_t, ColorData> entries;  // guarded by mutex
};

ColorTable& TheColorTable() {
  static ColorTable table;
  return table;
}

}  // namespace

std::string ColorInformation::Name() const {
  if (id == 0) {
    return kNoColorName;
  }
  ColorTable& table = TheColorTable();
  std::shared_lock lock(table.mutex);
  const auto entry = table.entries.find(id);
  return entry == table.entries.end() ? std::string(kUnknownColorName) : entry->second.name;
}

std::uint32_t ColorInformation::Rgb() const {
  ColorTable& table = TheColorTable();
  std::shared_lock lock(table.mutex);
  const auto entry = table.entries.find(id);
  return entry == table.entries.end() ? 0 : entry->second.rgb;
}

void ColorInformation::SetColorData(std::uint32_t id, std::string name, std::uint32_t rgb) {
  ColorTable& table = TheColorTable();
  std::unique_lock lock(table.mutex);
  table.entries.insert_or_assign(id, ColorData{std::move(name), rgb});
}

}  // namespace Corvalle::BrickLink
