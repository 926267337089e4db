#include "Source/Desktop/ApplicationRelauncher.h"

#include <QProcess>
#include <boost/log/core.hpp>
#include <cstdio>
#include <cstdlib>

#include "Source/Base/Logging.h"

namespace Corvalle::Desktop {

QStringList RelaunchArguments(const QString& programPath) {
  return {QStringLiteral("-c"), QString::asprintf("sleep %f; exec \"$0\"", 0.1), programPath};
}

bool RelaunchApplication(const QString& programPath) {
  const bool started =
      QProcess::startDetached(QStringLiteral("/bin/sh"), RelaunchArguments(programPath));
  if (!started) {
    BOOST_LOG_TRIVIAL(error) << "Unable to relaunch " << programPath.toStdString();
  }
  return started;
}

void TerminateApplication() {
  boost::log::core::get()->flush();
  std::fflush(nullptr);
  std::_Exit(EXIT_SUCCESS);
}

}  // namespace Corvalle::Desktop
