#pragma once

#include <QString>

namespace Corvalle::BrickLink {
struct CombinationLotData;
}

namespace Corvalle::Desktop {

// The display texts of one plan line, computed once at construction (on the search thread) and
// never changed afterwards, so the interface thread may read them without locking. There is no
// default construction and no copying: every holder shares the one object.
class LotDataWrapper {
 public:
  explicit LotDataWrapper(const BrickLink::CombinationLotData& lotData);
  LotDataWrapper(const LotDataWrapper&) = delete;
  LotDataWrapper& operator=(const LotDataWrapper&) = delete;

  const QString& quantity() const { return quantity_; }      // decimal
  const QString& price() const { return price_; }            // unit price, four decimals
  const QString& condition() const { return condition_; }    // "New" or "Used"
  const QString& partNumber() const { return partNumber_; }  // catalogue id
  const QString& color() const { return color_; }            // "N/A" for colour 0
  const QString& part() const { return part_; }              // display name

 private:
  QString quantity_;
  QString price_;
  QString condition_;
  QString partNumber_;
  QString color_;
  QString part_;
};

}  // namespace Corvalle::Desktop
