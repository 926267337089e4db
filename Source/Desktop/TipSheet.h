#pragma once

#include <QDialog>
#include <QString>

#include "Source/Desktop/TipTargets.h"

class QUrl;

namespace Corvalle::Desktop {

// The sheet that offers to tip the program's maker: one button per tip target, enabled only
// when the build has the target's address, and a Close button. A target's button closes the
// sheet and hands the address to the platform; when nothing opens it, an alert over the
// sheet's parent asks for a client that can. Window-modal over its parent; main thread only.
class TipSheet : public QDialog {
  Q_OBJECT

 public:
  explicit TipSheet(TipTargets targets_, QWidget* parent = nullptr);

 public slots:
  void tipViaDogecoin();
  void tipViaBitcoin();
  void tipViaPayPal();

 private:
  void openTipAddress(const QUrl& address, const QString& clientName);

  TipTargets targets;
};

}  // namespace Corvalle::Desktop
