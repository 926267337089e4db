#pragma once

#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace Testing {

// The alert of that name over parent that is on screen, if any: closed ones may linger until
// the event loop deletes them.
inline QMessageBox* VisibleAlert(const QWidget& parent,
                                 const QString& name = QStringLiteral("errorAlert")) {
  for (QMessageBox* alert : parent.findChildren<QMessageBox*>(name)) {
    if (alert->isVisible()) {
      return alert;
    }
  }
  return nullptr;
}

}  // namespace Testing
