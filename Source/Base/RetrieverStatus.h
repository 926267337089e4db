#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Corvalle {

// What the price-guide stage reports before it requests each item. After the last item it
// reports current == total, the name "Done!" and an empty colour name.
struct RetrieverStatus {
  std::uint32_t current;  // zero-based index of the item now being requested
  std::uint32_t total;
  std::string name;       // the item's display name
  std::string colorName;  // empty when the item has no colour
};

using RetrieverStatusCallback = std::function<void(RetrieverStatus)>;

}  // namespace Corvalle
