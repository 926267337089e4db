// corvalle-desktop-screenshot WORLD.json WANTED-LIST OUTPUT.png
//
// Makes the README's picture of the window: starts a local marketplace on the given world,
// runs a search for the wanted list over North America and Europe in a fresh cache directory,
// expands the first store of the cheapest plan and saves the window as a PNG. Meant to run
// under a virtual X server (see `make screenshots`).

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Source/Desktop/CombinationOutlineModel.h"
#include "Source/Desktop/CostFinderResultsViewController.h"
#include "Source/Desktop/CostFinderWindowController.h"
#include "Source/Base/Logging.h"
#include "Tools/Marketplace/MarketplaceServer.h"

using Corvalle::Desktop::CostFinderWindowController;

namespace {

std::string ReadFile(const char* path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s WORLD.json WANTED-LIST OUTPUT.png\n", argv[0]);
    return 2;
  }
  Utilities::InitializeLogging(boost::log::trivial::warning);
  QApplication application(argc, argv);
  QTemporaryDir cache;
  setenv("XDG_CACHE_HOME", cache.path().toLocal8Bit().constData(), 1);
  Corvalle::Marketplace::MarketplaceServer server(
      Corvalle::Marketplace::World::FromJson(ReadFile(argv[1])));
  server.Start();

  CostFinderWindowController window(server.HostAndPort());
  window.show();
  window.wantedListChosen(QString::fromLocal8Bit(argv[2]));
  for (QAction* entry :
       window.findChild<QToolButton*>(QStringLiteral("regions"))->menu()->actions()) {
    if (entry->text() == QStringLiteral("Europe")) {
      entry->trigger();
    }
  }
  window.findChild<QPushButton*>(QStringLiteral("findCombinations"))->click();

  const QString output = QString::fromLocal8Bit(argv[3]);
  int status = 1;
  QTimer poll;
  int waited = 0;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    waited += 100;
    auto* results = window.resultsViewController();
    if (results == nullptr || window.currentViewController() != results) {
      if (waited > 120000) {
        std::fprintf(stderr, "no results after two minutes\n");
        QApplication::exit(1);
      }
      return;
    }
    poll.stop();
    auto* model = results->model();
    results->outLineView()->expand(model->index(0, 0, model->index(0, 0)));
    window.resize(920, 800);
    QTimer::singleShot(500, [&] {
      status = window.grab().save(output) ? 0 : 1;
      std::fprintf(stderr, "%s %s\n", status == 0 ? "wrote" : "could not write",
                   qPrintable(output));
      QApplication::exit(status);
    });
  });
  poll.start(100);
  QApplication::exec();
  return status;
}
