// The colour list page reader on arbitrary text.

#include "Source/Base/BrickLink/ColorInformationParser.h"
#include "Tests/Fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Corvalle::Fuzz::SilenceLogging();
  static const auto parser = Corvalle::BrickLink::CreateColorInformationParser();
  const auto colors = parser->ParseColorInformation(Corvalle::Fuzz::AsText(data, size));
  static_cast<void>(colors);
  return 0;
}
