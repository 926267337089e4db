#include "ColorInformation.h"

#include <map>
#include <utility>

namespace Corvalle::BrickLink {

namespace {

std::map<std::uint32_t, ColorData>& ColorTable() {
  static std::map<std::uint32_t, ColorData> table;
  return table;
}

const std::string& NoColorName() {
  static const std::string name = ColorInformation::kNoColorName;
  return name;
}

const std::string& UnknownColorName() {
  static const std::string name = ColorInformation::kUnknownColorName;
  return name;
}

}  // namespace

const std::string& ColorInformation::Name() const {
  if (id == 0) {
    return NoColorName();
  }
  const auto& table = ColorTable();
  const auto entry = table.find(id);
  return entry == table.end() ? UnknownColorName() : entry->second.name;
}

std::uint32_t ColorInformation::Rgb() const {
  const auto& table = ColorTable();
  const auto entry = table.find(id);
  return entry == table.end() ? 0 : entry->second.rgb;
}

void ColorInformation::SetColorData(std::uint32_t id, std::string name, std::uint32_t rgb) {
  ColorTable().insert_or_assign(id, ColorData{std::move(name), rgb});
}

}  // namespace Corvalle::BrickLink
