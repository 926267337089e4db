#pragma once

#include <QString>
#include <QUrl>

namespace Corvalle::Desktop {

// Where tips for the program's maker go. Fixed when the program is built (CMake cache
// variables CORVALLE_TIP_DOGECOIN_ADDRESS, CORVALLE_TIP_BITCOIN_ADDRESS,
// CORVALLE_TIP_PAYPAL_HOST and CORVALLE_TIP_PAYPAL_BUTTON_ID), empty by default: a target
// without its address offers no address at all, so nothing is ever sent to one nobody owns.
struct TipTargets {
  QString dogecoinAddress;
  QString bitcoinAddress;
  QString payPalHost;
  QString payPalButtonId;

  static TipTargets FromBuild();

  // Empty addresses when the target is not configured.
  QUrl DogecoinUrl() const;  // dogecoin:<address>?label=Corvalle
  QUrl BitcoinUrl() const;   // bitcoin:<address>?label=Corvalle
  QUrl PayPalUrl() const;    // https://<host>/cgi-bin/webscr?cmd=_s-xclick&hosted_button_id=<id>
};

}  // namespace Corvalle::Desktop
