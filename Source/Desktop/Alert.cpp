#include "Source/Desktop/Alert.h"

#include <QMessageBox>

namespace Corvalle::Desktop {

QMessageBox* CreateAlert(QWidget* parent, const QString& name, const QString& text,
                         const QString& informativeText) {
  auto* alert = new QMessageBox(parent);
  alert->setObjectName(name);
  alert->setTextFormat(Qt::PlainText);
  alert->setText(text);
  alert->setInformativeText(informativeText);
  alert->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  alert->setWindowModality(Qt::WindowModal);
  alert->setAttribute(Qt::WA_DeleteOnClose);
  return alert;
}

}  // namespace Corvalle::Desktop
