#include "CombinationCostFormatter.h"

#include <algorithm>

#include "CombinationWrapper.h"

namespace Corvalle::Desktop {

QString CombinationCostFormatter::stringForObjectValue(const CombinationWrapper* value) const {
  if (value == nullptr) {
    return {};
  }
  return QStringLiteral("Combination #%1 - Total Cost: %2")
      .arg(value->index())
      .arg(value->minimumCost());
}

CombinationCostFormatter::AttributedString CombinationCostFormatter::attributedStringForObjectValue(
    const CombinationWrapper* value) const {
  AttributedString attributed;
  attributed.text = stringForObjectValue(value);
  const qsizetype colon = attributed.text.indexOf(QLatin1Char(':'));
  attributed.boldFrom =
      colon < 0 ? attributed.text.size() : std::min(colon + 2, attributed.text.size());
  return attributed;
}

QString CombinationCostFormatter::ToHtml(const AttributedString& attributed) {
  return QStringLiteral("<span style=\"font-size:%1px\">%2<b>%3</b></span>")
      .arg(attributed.pixelSize)
      .arg(attributed.text.left(attributed.boldFrom).toHtmlEscaped(),
           attributed.text.mid(attributed.boldFrom).toHtmlEscaped());
}

}  // namespace Corvalle::Desktop
