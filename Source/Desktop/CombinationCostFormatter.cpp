#include "CombinationCostFormatter.h"

#include <algorithm>

#include "CombinationWrapper.h"

namespace Corvalle::Desktop {

namespace {

QString TotalText(const CombinationWrapper& value) {
  return QStringLiteral("Combination #%1 - Total Cost: %2")
      .arg(value.index())
      .arg(value.minimumCost());
}

}  // namespace

QString CombinationCostFormatter::stringForObjectValue(const CombinationWrapper* value) const {
  if (value == nullptr) {
    return {};
  }
  if (!value->chargesShipping()) {
    return TotalText(*value);
  }
  return TotalText(*value) +
         QStringLiteral(" (lots %1 + shipping %2)").arg(value->subtotal(), value->shipping());
}

CombinationCostFormatter::AttributedString CombinationCostFormatter::attributedStringForObjectValue(
    const CombinationWrapper* value) const {
  AttributedString attributed;
  attributed.text = stringForObjectValue(value);
  const qsizetype colon = attributed.text.indexOf(QLatin1Char(':'));
  attributed.boldFrom =
      colon < 0 ? attributed.text.size() : std::min(colon + 2, attributed.text.size());
  // The breakdown after the total explains it and stays regular.
  attributed.boldTo = value == nullptr ? attributed.text.size()
                                       : std::max(attributed.boldFrom, TotalText(*value).size());
  return attributed;
}

QString CombinationCostFormatter::ToHtml(const AttributedString& attributed) {
  const qsizetype boldTo = std::max(attributed.boldFrom, attributed.boldTo);
  return QStringLiteral("<span style=\"font-size:%1px\">%2<b>%3</b>%4</span>")
      .arg(attributed.pixelSize)
      .arg(attributed.text.left(attributed.boldFrom).toHtmlEscaped(),
           attributed.text.mid(attributed.boldFrom, boldTo - attributed.boldFrom).toHtmlEscaped(),
           attributed.text.mid(boldTo).toHtmlEscaped());
}

}  // namespace Corvalle::Desktop
