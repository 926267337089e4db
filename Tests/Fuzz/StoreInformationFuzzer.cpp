// The store page reader on arbitrary text.

#include "Source/Base/BrickLink/StoreInformationParser.h"
#include "Tests/Fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Corvalle::Fuzz::SilenceLogging();
  static const auto parser = Corvalle::BrickLink::CreateStoreInformationParser();
  const auto metadata = parser->ParseStoreInformation(Corvalle::Fuzz::AsText(data, size));
  static_cast<void>(metadata);
  return 0;
}
