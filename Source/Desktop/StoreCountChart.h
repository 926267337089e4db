#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "Source/Desktop/CombinationWrapper.h"

namespace Corvalle::Desktop {

// The cheapest plan of one number of stores, and the plans of that number.
struct StoreCountBar {
  std::uint32_t stores = 0;
  double cost = 0.0;
  QString costText;  // the total as the plans show it
  Combinations combinations;
};

// A bar chart of the cheapest total by number of stores, painted by hand: one bar per number,
// its height the total, the number chosen highlighted. Clicking a bar chooses its number.
// Main thread only.
class StoreCountChart : public QWidget {
  Q_OBJECT

 public:
  explicit StoreCountChart(QWidget* parent = nullptr);

  // Replaces the bars and highlights the one of that number of stores.
  void setBars(std::vector<StoreCountBar> bars, std::uint32_t chosenStores);
  const std::vector<StoreCountBar>& bars() const { return bars_; }
  // The number of stores highlighted; 0 without bars.
  std::uint32_t chosenStores() const { return chosen; }
  // Where the bar of that position is drawn, in the widget's coordinates.
  QRect barRect(std::size_t position) const;
  // Highlights the bar of that number of stores and tells it; nothing for a number without bar.
  void chooseStores(std::uint32_t stores);

  QSize sizeHint() const override;

 signals:
  void storesChosen(std::uint32_t stores, const Combinations& combinations);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::vector<StoreCountBar> bars_;
  std::uint32_t chosen = 0;
};

}  // namespace Corvalle::Desktop
