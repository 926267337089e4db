#include "Source/Desktop/StoreCountChart.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace Corvalle::Desktop {

namespace {

// Room above the bars for their totals and below them for their numbers of stores.
constexpr int kLabelHeight = 18;
constexpr int kMargin = 8;
constexpr int kGap = 10;

}  // namespace

StoreCountChart::StoreCountChart(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("storeCountChart"));
  setToolTip(QStringLiteral("Cheapest total by number of stores; click a bar for its plans"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StoreCountChart::setBars(std::vector<StoreCountBar> bars, std::uint32_t chosenStores) {
  bars_ = std::move(bars);
  chosen = 0;
  for (const StoreCountBar& bar : bars_) {
    if (bar.stores == chosenStores) {
      chosen = chosenStores;
    }
  }
  update();
}

QRect StoreCountChart::barRect(std::size_t position) const {
  if (position >= bars_.size()) {
    return {};
  }
  const double highest =
      std::max_element(bars_.begin(), bars_.end(), [](const auto& a, const auto& b) {
        return a.cost < b.cost;
      })->cost;
  const int count = static_cast<int>(bars_.size());
  const int width = std::max(1, (this->width() - 2 * kMargin - (count - 1) * kGap) / count);
  const int room = std::max(1, height() - 2 * kLabelHeight - 2 * kMargin);
  const int barHeight =
      highest > 0.0 ? std::max(2, static_cast<int>(room * bars_[position].cost / highest)) : 2;
  const int left = kMargin + static_cast<int>(position) * (width + kGap);
  const int bottom = height() - kMargin - kLabelHeight;
  return {left, bottom - barHeight, width, barHeight};
}

void StoreCountChart::chooseStores(std::uint32_t stores) {
  for (const StoreCountBar& bar : bars_) {
    if (bar.stores == stores) {
      chosen = stores;
      update();
      emit storesChosen(stores, bar.combinations);
      return;
    }
  }
}

QSize StoreCountChart::sizeHint() const { return {360, 150}; }

void StoreCountChart::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& colours = palette();
  for (std::size_t position = 0; position < bars_.size(); ++position) {
    const StoreCountBar& bar = bars_[position];
    const QRect rect = barRect(position);
    const bool isChosen = bar.stores == chosen;
    painter.fillRect(rect, isChosen ? colours.color(QPalette::Highlight)
                                    : colours.color(QPalette::Mid));
    painter.setPen(colours.color(QPalette::WindowText));
    painter.drawText(QRect(rect.left(), rect.top() - kLabelHeight, rect.width(), kLabelHeight),
                     Qt::AlignCenter, bar.costText);
    QFont font = painter.font();
    font.setBold(isChosen);
    painter.setFont(font);
    painter.drawText(QRect(rect.left(), rect.bottom() + 1, rect.width(), kLabelHeight),
                     Qt::AlignCenter,
                     bar.stores == 1 ? QStringLiteral("1 store")
                                     : QStringLiteral("%1 stores").arg(bar.stores));
    font.setBold(false);
    painter.setFont(font);
  }
}

void StoreCountChart::mousePressEvent(QMouseEvent* event) {
  for (std::size_t position = 0; position < bars_.size(); ++position) {
    QRect column = barRect(position);
    // The whole column counts, so that a low bar is as easy to hit as a high one.
    column.setTop(0);
    column.setBottom(height());
    if (column.contains(event->position().toPoint())) {
      chooseStores(bars_[position].stores);
      return;
    }
  }
  QWidget::mousePressEvent(event);
}

}  // namespace Corvalle::Desktop
