// The price guide page reader on arbitrary text, with and without leaving out the lots of
// stores that do not ship to the buyer.

#include <cstdlib>

#include "Source/Base/BrickLink/PriceGuideParser.h"
#include "Tests/Fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Corvalle::Fuzz::SilenceLogging();
  static const auto parser = Corvalle::BrickLink::CreatePriceGuideParser();
  const std::string page = Corvalle::Fuzz::AsText(data, size);
  for (const bool skipLotsMarkedN : {false, true}) {
    const auto [newGuide, usedGuide] = parser->ParsePriceGuide(page, skipLotsMarkedN);
    // The callers store both conditions or neither; half a pair would be taken for a page read.
    if (static_cast<bool>(newGuide) != static_cast<bool>(usedGuide)) {
      std::abort();
    }
  }
  return 0;
}
