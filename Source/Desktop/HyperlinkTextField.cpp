#include "Source/Desktop/HyperlinkTextField.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>

namespace Corvalle::Desktop {

const QColor HyperlinkTextField::kNormalColor = QColor::fromRgbF(0.0f, 0.25f, 0.75f, 1.0f);
const QColor HyperlinkTextField::kHoverColor = QColor::fromRgbF(0.75f, 0.25f, 1.0f, 1.0f);

HyperlinkTextField::HyperlinkTextField(QWidget* parent)
    : QAbstractButton(parent), titleColor_(kNormalColor) {
  QFont linkFont = font();
  linkFont.setPixelSize(12);
  linkFont.setUnderline(true);
  setFont(linkFont);
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QAbstractButton::clicked, this, &HyperlinkTextField::openLink);
}

void HyperlinkTextField::assignStoreName(const QString& name, const QString& url) {
  setText(name);
  url_ = QUrl(url);
  setToolTip(url);
  // The width that fits the title, at the position and height the frame had.
  const QRect previous = geometry();
  setGeometry(previous.x(), previous.y(), sizeHint().width(), previous.height());
}

QSize HyperlinkTextField::sizeHint() const {
  const QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(text()) + 2, metrics.height() + 2};
}

QRect HyperlinkTextField::trackingRect() const { return QRect(1, 2, width() - 1, height() - 2); }

void HyperlinkTextField::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  painter.setPen(titleColor_);
  painter.drawText(rect().adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text());
}

void HyperlinkTextField::mouseMoveEvent(QMouseEvent* event) {
  setHovering(trackingRect().contains(event->position().toPoint()));
  QAbstractButton::mouseMoveEvent(event);
}

void HyperlinkTextField::leaveEvent(QEvent* event) {
  setHovering(false);
  QAbstractButton::leaveEvent(event);
}

void HyperlinkTextField::setHovering(bool hover) {
  if (hover == hovering_) {
    return;
  }
  hovering_ = hover;
  titleColor_ = hover ? kHoverColor : kNormalColor;
  if (hover) {
    setCursor(Qt::PointingHandCursor);
  } else {
    unsetCursor();
  }
  update();
}

void HyperlinkTextField::openLink() { QDesktopServices::openUrl(url_); }

}  // namespace Corvalle::Desktop
