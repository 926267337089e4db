#include "HelpPage.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#include "Logging.h"

namespace Corvalle::Desktop {

QUrl UsageHelpPageUrl() {
  const QStringList candidates{QDir(QCoreApplication::applicationDirPath())
                                   .filePath(QStringLiteral(CORVALLE_HELP_PAGE_INSTALLED)),
                               QStringLiteral(CORVALLE_HELP_PAGE_SOURCE)};
  for (const QString& candidate : candidates) {
    const QFileInfo file(candidate);
    if (file.isFile()) {
      return QUrl::fromLocalFile(file.canonicalFilePath());
    }
  }
  return {};
}

bool OpenUsageHelpPage() {
  const QUrl page = UsageHelpPageUrl();
  if (page.isEmpty()) {
    BOOST_LOG_TRIVIAL(error) << "The usage help page is not installed";
    return false;
  }
  return QDesktopServices::openUrl(page);
}

}  // namespace Corvalle::Desktop
