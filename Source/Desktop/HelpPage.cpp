#include "Source/Desktop/HelpPage.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <exception>

#include "Source/Base/Logging.h"
#include "Source/Base/SQLite/SqliteWrapper.h"

// The page's resource sits in a static library, where nothing else would keep it linked in.
// Outside any namespace, as Qt's resource registration requires.
static void LoadHelpResource() {
  static const bool loaded = [] {
    Q_INIT_RESOURCE(help);
    return true;
  }();
  static_cast<void>(loaded);
}

namespace Corvalle::Desktop {

QUrl UsageHelpPageUrl() {
  LoadHelpResource();
  QFile page(QStringLiteral(":/help/index.html"));
  if (!page.open(QIODevice::ReadOnly)) {
    BOOST_LOG_TRIVIAL(error) << "The usage help page is missing from the program";
    return {};
  }
  const QByteArray text = page.readAll();

  QString directory;
  try {
    directory = QString::fromStdString(Sqlite::GetDefaultDataDirectory()) + QStringLiteral("help");
  } catch (const std::exception& error) {
    BOOST_LOG_TRIVIAL(error) << "Unable to write out the usage help page: " << error.what();
    return {};
  }
  const QString path = QDir(directory).filePath(QStringLiteral("index.html"));
  // Replaced whole, so that a browser still reading an earlier copy never sees half a page.
  QSaveFile copy(path);
  if (!QDir().mkpath(directory) || !copy.open(QIODevice::WriteOnly) ||
      copy.write(text) != text.size() || !copy.commit()) {
    BOOST_LOG_TRIVIAL(error) << "Unable to write out the usage help page to " << path.toStdString()
                             << ": " << copy.errorString().toStdString();
    return {};
  }
  return QUrl::fromLocalFile(path);
}

bool OpenUsageHelpPage() {
  const QUrl page = UsageHelpPageUrl();
  if (page.isEmpty()) {
    return false;
  }
  return QDesktopServices::openUrl(page);
}

}  // namespace Corvalle::Desktop
