#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Source/Base/BrickLink/StoreInformation.h"

namespace Corvalle::BrickLink {

// Reads a store's page: its name from the title and its country from the store link's "cn"
// parameter. Stateless; may be shared by const reference.
class IStoreInformationParser {
 public:
  virtual ~IStoreInformationParser() = default;
  IStoreInformationParser(const IStoreInformationParser&) = delete;
  IStoreInformationParser& operator=(const IStoreInformationParser&) = delete;

  // The store's name (HTML character references decoded) and country identifier. Empty when
  // the page is empty, cut short (see EndsAsWholePage), or the title and link are not found.
  virtual std::optional<StoreMetadata> ParseStoreInformation(
      const std::string& rawStoreInformation) const = 0;

 protected:
  IStoreInformationParser() = default;
};

std::unique_ptr<IStoreInformationParser> CreateStoreInformationParser();

}  // namespace Corvalle::BrickLink
