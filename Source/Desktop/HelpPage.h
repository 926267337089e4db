#pragma once

#include <QString>
#include <QUrl>

namespace Corvalle::Desktop {

// The address of the usage help page that ships with the program: the installed copy beside
// the executable (<datadir>/corvalle/help/index.html, normally <prefix>/share/...), else the copy
// in the source tree the program was built from. An empty address when neither exists.
QUrl UsageHelpPageUrl();

// Opens the usage help page in the default browser; false when there is none or nothing could
// open it.
bool OpenUsageHelpPage();

}  // namespace Corvalle::Desktop
