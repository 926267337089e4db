#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QUrl>

namespace Corvalle::Desktop {

// A button that looks like a link: its title underlined in the link colour, in the 12-pixel
// system font. Over its bounds shrunk by 1 pixel in width and 2 in height it shows the hover
// colour and the pointing-hand cursor; a click opens the address in the default browser.
class HyperlinkTextField : public QAbstractButton {
  Q_OBJECT

 public:
  static const QColor kNormalColor;  // sRGB (0, 0.25, 0.75)
  static const QColor kHoverColor;   // sRGB (0.75, 0.25, 1.0)

  explicit HyperlinkTextField(QWidget* parent = nullptr);

  // Shows name as a link to url and takes the width that fits it, keeping position and height.
  void assignStoreName(const QString& name, const QString& url);

  const QUrl& url() const { return url_; }
  const QColor& titleColor() const { return titleColor_; }
  // The area in which the pointer counts as over the link.
  QRect trackingRect() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void openLink();
  void setHovering(bool hovering);

  QUrl url_;
  QColor titleColor_;
  bool hovering_ = false;  // keeps each colour change from repeating
};

}  // namespace Corvalle::Desktop
