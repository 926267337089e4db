#include "Source/Desktop/TipSheet.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "Source/Desktop/Alert.h"

namespace Corvalle::Desktop {

TipSheet::TipSheet(TipTargets targets_, QWidget* parent)
    : QDialog(parent), targets(std::move(targets_)) {
  setObjectName(QStringLiteral("tipSheet"));
  setWindowTitle(QStringLiteral("Tip the Maker"));
  setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      new QLabel(QStringLiteral("If Corvalle saved you money, you can tip its maker:"), this));
  struct Target {
    const char* name;
    const char* title;
    bool configured;
    void (TipSheet::*action)();
  };
  const Target buttonTargets[] = {
      {"dogecoinButton", "Dogecoin", !targets.DogecoinUrl().isEmpty(), &TipSheet::tipViaDogecoin},
      {"bitcoinButton", "Bitcoin", !targets.BitcoinUrl().isEmpty(), &TipSheet::tipViaBitcoin},
      {"payPalButton", "PayPal", !targets.PayPalUrl().isEmpty(), &TipSheet::tipViaPayPal},
  };
  auto* buttons = new QHBoxLayout;
  bool anyConfigured = false;
  for (const Target& target : buttonTargets) {
    auto* button = new QPushButton(QString::fromLatin1(target.title), this);
    button->setObjectName(QString::fromLatin1(target.name));
    // A target without an address must not be offered: nobody would receive the money.
    button->setEnabled(target.configured);
    anyConfigured = anyConfigured || target.configured;
    connect(button, &QPushButton::clicked, this, target.action);
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
  if (!anyConfigured) {
    layout->addWidget(new QLabel(QStringLiteral("This build has no tip addresses."), this));
  }
  auto* closeButton = new QPushButton(QStringLiteral("Close"), this);
  closeButton->setObjectName(QStringLiteral("closeButton"));
  connect(closeButton, &QPushButton::clicked, this, &TipSheet::reject);
  layout->addWidget(closeButton, 0, Qt::AlignRight);
}

void TipSheet::tipViaDogecoin() {
  openTipAddress(targets.DogecoinUrl(), QStringLiteral("Dogecoin client"));
}

void TipSheet::tipViaBitcoin() {
  openTipAddress(targets.BitcoinUrl(), QStringLiteral("Bitcoin client"));
}

void TipSheet::tipViaPayPal() {
  openTipAddress(targets.PayPalUrl(), QStringLiteral("web browser"));
}

void TipSheet::openTipAddress(const QUrl& address, const QString& clientName) {
  reject();
  if (address.isEmpty()) {
    return;
  }
  if (!QDesktopServices::openUrl(address)) {
    // Over the parent: the sheet itself is closed by now.
    CreateAlert(parentWidget(), QStringLiteral("tipAlert"),
                QStringLiteral("Please install a %1.").arg(clientName))
        ->open();
  }
}

}  // namespace Corvalle::Desktop
