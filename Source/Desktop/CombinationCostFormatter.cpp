#include "Source/Desktop/CombinationCostFormatter.h"

#include <algorithm>

#include "Source/Desktop/CombinationWrapper.h"

namespace Corvalle::Desktop {

QString CombinationCostFormatter::stringForObjectValue(const CombinationWrapper* value) const {
  return attributedStringForObjectValue(value).text;
}

CombinationCostFormatter::AttributedString CombinationCostFormatter::attributedStringForObjectValue(
    const CombinationWrapper* value) const {
  if (value == nullptr) {
    return {};
  }
  const QString label = QStringLiteral("Combination #%1 - Total Cost: ").arg(value->index());
  // The breakdown after the total explains it and stays regular.
  const QString breakdown =
      value->chargesShipping()
          ? QStringLiteral(" (lots %1 + shipping %2)").arg(value->subtotal(), value->shipping())
          : QString();
  AttributedString attributed;
  attributed.text = label + value->minimumCost() + breakdown;
  attributed.boldFrom = label.size();
  attributed.boldTo = label.size() + value->minimumCost().size();
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
