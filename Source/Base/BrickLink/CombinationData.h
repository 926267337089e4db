#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Source/Base/Corvalle.h"
#include "Source/Base/BrickLink/PriceGuide.h"
#include "Source/Base/BrickLink/StoreInformation.h"

namespace Corvalle::BrickLink {

// One line of a purchase plan: buy lotData.quantity units of the item from the store at
// lotData.price each, from the store's lots in that condition (New or Used: what the buyer
// gets, which for an item wanted in any condition may be either). Refers to a wanted item,
// which must outlive it.
struct CombinationLotData {
  CombinationLotData(const Item& item_, StoreInformation store_, LotData lotData_,
                     Condition condition_ = Condition::New)
      : item(item_), store(store_), lotData(lotData_), condition(condition_) {}

  const Item& GetItem() const { return item.get(); }

  std::reference_wrapper<const Item> item;
  StoreInformation store;
  LotData lotData;
  Condition condition;
};

// Same item (Item's equality), same store id, same quantity, unit price and condition.
bool operator==(const CombinationLotData& left, const CombinationLotData& right);

// What the user sees of one store combination: the stores bought from, the total cost and the
// purchase plan, grouped by store (ascending id) and, within a store, by item id. Immutable;
// created on the search thread and read by the interface after the search, without locking.
class ICombinationData {
 public:
  using LotsData = std::vector<CombinationLotData>;
  using ConstIterator = LotsData::const_iterator;

  virtual ~ICombinationData() = default;
  ICombinationData(const ICombinationData&) = delete;
  ICombinationData& operator=(const ICombinationData&) = delete;

  // The stores from which something is bought, in the combination's column order.
  virtual const std::vector<StoreInformation>& Stores() const = 0;
  // What the plan costs in all: its lots, plus the shipping of its stores when charged.
  virtual double Cost() const = 0;
  // Whether the search charged shipping; without, the subtotal is the cost and shipping is 0.
  virtual bool ChargesShipping() const = 0;
  virtual double Subtotal() const = 0;
  virtual double Shipping() const = 0;
  // One store's shipping; 0 for a store not in the plan.
  virtual double StoreShipping(std::uint32_t storeId) const = 0;
  virtual std::uint64_t LotsDataCount() const = 0;
  virtual ConstIterator LotsDataBegin() const = 0;
  virtual ConstIterator LotsDataEnd() const = 0;
  // The lines of one store: from its first line (LotsDataEnd() when it has none) to past its
  // last one.
  virtual ConstIterator LotsDataBegin(std::uint32_t storeId) const = 0;
  virtual ConstIterator LotsDataEnd(std::uint32_t storeId) const = 0;
  // The store's part of the plan in the marketplace's wanted-list XML, for the existing wanted
  // list wantedListId: one ITEM element per item bought there, with its MINQTY to buy there,
  // its MAXPRICE at the dearest unit price the plan pays for it there (so that the upload buys
  // no dearer lot) and its CONDITION: N for an item wanted New, and for one wanted in any
  // condition N or U when the plan buys only that condition there. Item ids are escaped (&, <,
  // >); the text has no declaration and no final line end.
  virtual std::string CreateWantedListXml(std::uint32_t storeId,
                                          std::uint32_t wantedListId) const = 0;

 protected:
  ICombinationData() = default;
};

// Equal plans: as many lines, costs within 0.001 of each other and the lines pairwise equal in
// order. The store lists are not compared, so two combinations that differ only in stores that
// supply nothing have equal plans.
bool operator==(const ICombinationData& left, const ICombinationData& right);

// What a plan costs beyond its lots, and the stores it keeps though they buy nothing.
struct PlanCharges {
  std::vector<double> shipping;  // one per store given with it; empty when none is charged
  double subtotal = 0.0;         // the lots' cost; used only when shipping is charged
  std::vector<std::uint32_t> keptStores;  // store ids
};

// Orders the plan (item id, then store id; lines of one store and item id keep their order),
// and drops from the stores those from which nothing is bought, unless charges keep them.
std::unique_ptr<ICombinationData> CreateCombinationData(
    const std::vector<StoreInformation>& stores, double cost,
    std::unique_ptr<ICombinationData::LotsData> lotsData, PlanCharges charges = {});

}  // namespace Corvalle::BrickLink
