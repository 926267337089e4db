#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "Source/Base/BrickLink/ColorInformation.h"

namespace Corvalle::BrickLink {

// Reads the marketplace's colour list page. Stateless; may be shared by const reference.
class IColorInformationParser {
 public:
  virtual ~IColorInformationParser() = default;
  IColorInformationParser(const IColorInformationParser&) = delete;
  IColorInformationParser& operator=(const IColorInformationParser&) = delete;

  // The colours in page order, possibly none. Empty (no list at all) when the page is empty,
  // cut short (see EndsAsWholePage), or a colour id or RGB value does not convert. A colour cell
  // without RGB value (the marketplace's "(Not Applicable)") reads as 0.
  virtual std::optional<ColorList> ParseColorInformation(
      const std::string& rawColorInformation) const = 0;

 protected:
  IColorInformationParser() = default;
};

std::unique_ptr<IColorInformationParser> CreateColorInformationParser();

}  // namespace Corvalle::BrickLink
