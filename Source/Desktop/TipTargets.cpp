#include "Source/Desktop/TipTargets.h"

namespace Corvalle::Desktop {

TipTargets TipTargets::FromBuild() {
  return {QStringLiteral(CORVALLE_TIP_DOGECOIN_ADDRESS),
          QStringLiteral(CORVALLE_TIP_BITCOIN_ADDRESS), QStringLiteral(CORVALLE_TIP_PAYPAL_HOST),
          QStringLiteral(CORVALLE_TIP_PAYPAL_BUTTON_ID)};
}

QUrl TipTargets::DogecoinUrl() const {
  return dogecoinAddress.isEmpty()
             ? QUrl()
             : QUrl(QStringLiteral("dogecoin:%1?label=Corvalle").arg(dogecoinAddress));
}

QUrl TipTargets::BitcoinUrl() const {
  return bitcoinAddress.isEmpty()
             ? QUrl()
             : QUrl(QStringLiteral("bitcoin:%1?label=Corvalle").arg(bitcoinAddress));
}

QUrl TipTargets::PayPalUrl() const {
  if (payPalHost.isEmpty() || payPalButtonId.isEmpty()) {
    return {};
  }
  return QUrl(QStringLiteral("https://%1/cgi-bin/webscr?cmd=_s-xclick&hosted_button_id=%2")
                  .arg(payPalHost, payPalButtonId));
}

}  // namespace Corvalle::Desktop
