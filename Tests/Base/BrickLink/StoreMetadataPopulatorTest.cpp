#include "Source/Base/BrickLink/StoreMetadataPopulator.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/StoreInformationRetriever.h"
#include "Tests/Support/ExceptionMessage.h"

namespace Corvalle::BrickLink {
namespace {

// Knows the stores of a map and counts what it is asked.
class FakeStoreInformationRetriever final : public IStoreInformationRetriever {
 public:
  explicit FakeStoreInformationRetriever(std::map<std::uint32_t, StoreMetadata> known_)
      : known(std::move(known_)) {}

  std::unique_ptr<const StoreMetadata> TryRetrieveStoreInformation(std::uint32_t storeId) override {
    asked.push_back(storeId);
    const auto entry = known.find(storeId);
    return entry == known.end() ? nullptr : std::make_unique<const StoreMetadata>(entry->second);
  }

  std::string LastFailure() const override { return "page of " + std::to_string(asked.back()); }

  std::map<std::uint32_t, StoreMetadata> known;
  std::vector<std::uint32_t> asked;
};

ConsolidatedLotData TableOf(const std::vector<std::uint32_t>& storeIds) {
  std::vector<StoreInformation> stores;
  for (const std::uint32_t id : storeIds) {
    stores.emplace_back(id);
  }
  return std::move(*ConsolidatedLotData::Builder(1, std::move(stores)).Build());
}

std::vector<double> Populate(const std::vector<std::uint32_t>& storeIds,
                             FakeStoreInformationRetriever& retriever) {
  std::vector<double> progress;
  CreateStoreMetadataPopulator(retriever)->PopulateStoreMetadata(
      TableOf(storeIds), [&progress](double fraction) { progress.push_back(fraction); });
  return progress;
}

TEST(StoreMetadataPopulatorTest, ProgressAfterEveryThirdStoreAndTheLast) {
  std::map<std::uint32_t, StoreMetadata> known;
  for (std::uint32_t id = 801; id <= 807; ++id) {
    known[id] = {"Store " + std::to_string(id), "DE"};
  }
  FakeStoreInformationRetriever retriever(known);
  EXPECT_EQ(Populate({801, 802, 803, 804, 805, 806, 807}, retriever),
            (std::vector<double>{3.0 / 7.0, 6.0 / 7.0, 1.0}));
  EXPECT_EQ(retriever.asked, (std::vector<std::uint32_t>{801, 802, 803, 804, 805, 806, 807}));
  EXPECT_EQ(StoreInformation(805).Name(), "Store 805");
  EXPECT_STREQ(StoreInformation(807).GetCountry().name, "Germany");

  EXPECT_EQ(Populate({801, 802, 803, 804, 805, 806}, retriever), (std::vector<double>{0.5, 1.0}));
  retriever.asked.clear();
  EXPECT_TRUE(Populate({}, retriever).empty());
  EXPECT_TRUE(retriever.asked.empty());
}

TEST(StoreMetadataPopulatorTest, StopsAtTheFirstStoreThatCannotBeHad) {
  FakeStoreInformationRetriever retriever({{811, {"First", "US"}}, {813, {"Third", "US"}}});
  std::vector<double> progress;
  EXPECT_EQ(Testing::RuntimeErrorOf([&] {
              CreateStoreMetadataPopulator(retriever)->PopulateStoreMetadata(
                  TableOf({811, 812, 813}), [&](double fraction) { progress.push_back(fraction); });
            }),
            "Unable to retrieve store information for store 812:\npage of 812");
  EXPECT_EQ(retriever.asked, (std::vector<std::uint32_t>{811, 812}));
  EXPECT_TRUE(progress.empty());
  // The stores before the failing one keep their entries.
  EXPECT_EQ(StoreInformation(811).Name(), "First");
  EXPECT_EQ(StoreInformation(813).Name(), StoreInformation::kUnknownStoreName);
}

}  // namespace
}  // namespace Corvalle::BrickLink
