#include "Source/Desktop/LotDataWrapper.h"

#include "Source/Base/BrickLink/CombinationData.h"
#include "Source/Base/Corvalle.h"
#include "Source/Base/PriceFormatting.h"

namespace Corvalle::Desktop {

namespace {

// Unit prices of a few hundredths of a cent would all read as nothing with two decimals.
constexpr int kUnitPriceDecimals = 4;

}  // namespace

LotDataWrapper::LotDataWrapper(const BrickLink::CombinationLotData& lotData)
    : quantity_(QString::number(lotData.lotData.quantity)),
      price_(QString::fromStdString(
          Utilities::FormatPrice(lotData.lotData.price, kUnitPriceDecimals))),
      condition_(QString::fromStdString(ToString(lotData.condition))),
      partNumber_(QString::fromStdString(lotData.GetItem().Id())),
      color_(QString::fromStdString(lotData.GetItem().Color().Name())),
      part_(QString::fromStdString(lotData.GetItem().Name())) {}

}  // namespace Corvalle::Desktop
