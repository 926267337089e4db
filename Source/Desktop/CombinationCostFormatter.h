#pragma once

#include <QString>

namespace Corvalle::Desktop {

class CombinationWrapper;

// The text of a combination row: "Combination #<index> - Total Cost: <cost>", followed by
// " (lots <subtotal> + shipping <shipping>)" when the search charged shipping; the whole text
// in the 12-pixel system font and the total cost in bold.
class CombinationCostFormatter {
 public:
  // A text with the part set in bold, from boldFrom up to boldTo; the rest is regular.
  struct AttributedString {
    QString text;
    qsizetype boldFrom = 0;
    qsizetype boldTo = 0;
    int pixelSize = 12;
  };

  // The row text, or an empty text for anything that is not a combination (a null pointer).
  QString stringForObjectValue(const CombinationWrapper* value) const;
  // The same text with its bold part: the total cost.
  AttributedString attributedStringForObjectValue(const CombinationWrapper* value) const;
  // The attributed text as rich text for a label.
  static QString ToHtml(const AttributedString& attributed);
};

}  // namespace Corvalle::Desktop
