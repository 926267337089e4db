#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace Corvalle::BrickLink {

// What the process-wide colour table holds per colour id.
struct ColorData {
  std::string name;
  std::uint32_t rgb;  // 0xRRGGBB
};

// The handle of a marketplace colour. Names and RGB values live in one process-wide table,
// filled by the colour cache at the start of a search on the search thread while a window may
// still show the plans of the search before: the table takes a lock, and the lookups answer
// copies, never references into it, so an entry replaced meanwhile cannot change under a reader.
class ColorInformation {
 public:
  static constexpr const char* kNoColorName = "N/A";
  static constexpr const char* kUnknownColorName = "[Error retrieving color name]";

  explicit ColorInformation(std::uint32_t id_) : id(id_) {}

  std::uint32_t Id() const { return id; }
  // "N/A" for id 0, the table's name for a known id, "[Error retrieving color name]" otherwise.
  // Any thread.
  std::string Name() const;
  // The table's value, or 0 for an id the table does not hold.
  std::uint32_t Rgb() const;

  // Inserts or replaces the table entry of one id. Any thread.
  static void SetColorData(std::uint32_t id, std::string name, std::uint32_t rgb);

  friend bool operator==(const ColorInformation&, const ColorInformation&) = default;

 private:
  std::uint32_t id;
};

// A colour list as the marketplace's colour page gives it: (colour id, data) in page order.
using ColorList = std::vector<std::tuple<std::uint32_t, ColorData>>;

}  // namespace Corvalle::BrickLink
