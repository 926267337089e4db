#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace Corvalle::Desktop {

// A window-modal alert over parent with an OK button, named so that tests can find it, that
// deletes itself when closed; the caller may add buttons before opening it. The texts are
// shown as they are: they quote paths, ids, names and failure texts, which must never be read
// as markup.
QMessageBox* CreateAlert(QWidget* parent, const QString& name, const QString& text,
                         const QString& informativeText = QString());

}  // namespace Corvalle::Desktop
