#include "Source/Base/BrickLink/CombinationData.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>
#include <utility>

#include "Source/Base/Assert.h"

namespace Corvalle::BrickLink {

namespace {

// Plans whose costs differ by less than this are the same plan.
constexpr double kCostTolerance = 0.001;

// The three characters that would break the markup of an element's text; everything else,
// quotation marks included, is written as it is.
void WriteEscaped(std::ostream& stream, const std::string& text) {
  for (const char character : text) {
    switch (character) {
      case '&':
        stream << "&amp;";
        break;
      case '<':
        stream << "&lt;";
        break;
      case '>':
        stream << "&gt;";
        break;
      default:
        stream << character;
    }
  }
}

// A unit price as a limit the marketplace reads back: four decimals, as it writes prices,
// rounded up, so that the lot priced at it is never left out for a rounding error.
std::string FormatLimitPrice(double price) {
  const double steps = std::ceil(price * 10000.0 - 1e-6);
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << std::fixed << std::setprecision(4) << steps / 10000.0;
  return text.str();
}

class CombinationData final : public ICombinationData {
 public:
  CombinationData(const std::vector<StoreInformation>& stores_, double cost_,
                  std::unique_ptr<LotsData> lotsData_, PlanCharges charges_);

  const std::vector<StoreInformation>& Stores() const override { return stores; }
  double Cost() const override { return cost; }
  bool ChargesShipping() const override { return chargesShipping; }
  double Subtotal() const override { return chargesShipping ? subtotal : cost; }
  double Shipping() const override { return shipping; }
  double StoreShipping(std::uint32_t storeId) const override;
  std::uint64_t LotsDataCount() const override { return lotsData->size(); }
  ConstIterator LotsDataBegin() const override { return lotsData->cbegin(); }
  ConstIterator LotsDataEnd() const override { return lotsData->cend(); }
  ConstIterator LotsDataBegin(std::uint32_t storeId) const override;
  ConstIterator LotsDataEnd(std::uint32_t storeId) const override;
  std::string CreateWantedListXml(std::uint32_t storeId, std::uint32_t wantedListId) const override;

 private:
  std::vector<StoreInformation> stores;
  double cost;
  std::unique_ptr<LotsData> lotsData;
  bool chargesShipping;
  double subtotal;
  double shipping = 0.0;
  std::vector<std::pair<std::uint32_t, double>> storeShipping;  // by store id
};

CombinationData::CombinationData(const std::vector<StoreInformation>& stores_, double cost_,
                                 std::unique_ptr<LotsData> lotsData_, PlanCharges charges)
    : stores(stores_),
      cost(cost_),
      chargesShipping(!charges.shipping.empty()),
      subtotal(charges.subtotal) {
  CORVALLE_ASSERT(lotsData_);
  CORVALLE_ASSERT(charges.shipping.empty() || charges.shipping.size() == stores.size());
  // Added in the stores' order, as the ranking added them.
  for (std::size_t index = 0; index < charges.shipping.size(); ++index) {
    shipping += charges.shipping[index];
    storeShipping.emplace_back(stores[index].Id(), charges.shipping[index]);
  }
  // Stable in both passes, so lines of one store with the same item id keep the wanted-list
  // order and equal plans always come out line for line alike.
  std::stable_sort(lotsData_->begin(), lotsData_->end(),
                   [](const CombinationLotData& first, const CombinationLotData& second) {
                     return first.GetItem().Id() < second.GetItem().Id();
                   });
  std::stable_sort(lotsData_->begin(), lotsData_->end(),
                   [](const CombinationLotData& first, const CombinationLotData& second) {
                     return first.store.Id() < second.store.Id();
                   });
  lotsData = std::move(lotsData_);
  std::erase_if(stores, [&](const StoreInformation& store) {
    return LotsDataBegin(store.Id()) == LotsDataEnd(store.Id()) &&
           std::find(charges.keptStores.begin(), charges.keptStores.end(), store.Id()) ==
               charges.keptStores.end();
  });
}

double CombinationData::StoreShipping(std::uint32_t storeId) const {
  if (std::none_of(stores.begin(), stores.end(),
                   [storeId](const StoreInformation& store) { return store.Id() == storeId; })) {
    return 0.0;
  }
  for (const auto& [id, amount] : storeShipping) {
    if (id == storeId) {
      return amount;
    }
  }
  return 0.0;
}

ICombinationData::ConstIterator CombinationData::LotsDataBegin(std::uint32_t storeId) const {
  return std::find_if(
      lotsData->cbegin(), lotsData->cend(),
      [storeId](const CombinationLotData& line) { return line.store.Id() == storeId; });
}

ICombinationData::ConstIterator CombinationData::LotsDataEnd(std::uint32_t storeId) const {
  return std::find_if(
      LotsDataBegin(storeId), lotsData->cend(),
      [storeId](const CombinationLotData& line) { return line.store.Id() != storeId; });
}

std::string CombinationData::CreateWantedListXml(std::uint32_t storeId,
                                                 std::uint32_t wantedListId) const {
  std::ostringstream xml;
  xml.imbue(std::locale::classic());
  xml << "<INVENTORY>\n";
  const auto end = LotsDataEnd(storeId);
  for (auto first = LotsDataBegin(storeId); first != end;) {
    // The store's lines of one wanted item are contiguous: by item id, and in purchase order
    // within an item.
    const Item& item = first->GetItem();
    std::uint64_t quantity = 0;
    double dearest = 0.0;
    bool boughtNew = false;
    bool boughtUsed = false;
    auto line = first;
    for (; line != end && &line->GetItem() == &item; ++line) {
      quantity += line->lotData.quantity;
      dearest = std::max(dearest, line->lotData.price);
      (line->condition == Condition::New ? boughtNew : boughtUsed) = true;
    }
    first = line;
    xml << " <ITEM>\n";
    xml << "  <ITEMID>";
    WriteEscaped(xml, item.Id());
    xml << "</ITEMID>\n";
    xml << "  <ITEMTYPE>" << ToCharacter(item.Type()) << "</ITEMTYPE>\n";
    xml << "  <COLOR>" << item.Color().Id() << "</COLOR>\n";
    xml << "  <MINQTY>" << quantity << "</MINQTY>\n";
    xml << "  <MAXPRICE>" << FormatLimitPrice(dearest) << "</MAXPRICE>\n";
    if (item.GetCondition() == Condition::New || !boughtUsed) {
      xml << "  <CONDITION>N</CONDITION>\n";
    } else if (!boughtNew) {
      xml << "  <CONDITION>U</CONDITION>\n";
    }
    xml << "  <WANTEDLISTID>" << wantedListId << "</WANTEDLISTID>\n";
    xml << " </ITEM>\n";
  }
  xml << "</INVENTORY>";
  return xml.str();
}

}  // namespace

bool operator==(const CombinationLotData& left, const CombinationLotData& right) {
  return left.GetItem() == right.GetItem() && left.store.Id() == right.store.Id() &&
         left.lotData == right.lotData && left.condition == right.condition;
}

bool operator==(const ICombinationData& left, const ICombinationData& right) {
  if (left.LotsDataCount() != right.LotsDataCount()) {
    return false;
  }
  if (!(std::abs(left.Cost() - right.Cost()) < kCostTolerance)) {
    return false;
  }
  auto rightLot = right.LotsDataBegin();
  for (auto leftLot = left.LotsDataBegin(); leftLot != left.LotsDataEnd(); ++leftLot) {
    CORVALLE_ASSERT(rightLot != right.LotsDataEnd());
    if (!(*leftLot == *rightLot)) {
      return false;
    }
    ++rightLot;
  }
  return true;
}

std::unique_ptr<ICombinationData> CreateCombinationData(
    const std::vector<StoreInformation>& stores, double cost,
    std::unique_ptr<ICombinationData::LotsData> lotsData, PlanCharges charges) {
  return std::make_unique<CombinationData>(stores, cost, std::move(lotsData), std::move(charges));
}

}  // namespace Corvalle::BrickLink
