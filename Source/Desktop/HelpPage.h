#pragma once

#include <QString>
#include <QUrl>

namespace Corvalle::Desktop {

// The address of a readable copy of the usage help page built into the program. A browser
// cannot read Qt resources, so the page is written out to the program's cache directory
// (<cache>/corvalle/help/index.html), afresh each time so that it always matches this build.
// An empty address when it cannot be written.
QUrl UsageHelpPageUrl();

// Opens the usage help page in the default browser; false when there is none or nothing could
// open it.
bool OpenUsageHelpPage();

}  // namespace Corvalle::Desktop
