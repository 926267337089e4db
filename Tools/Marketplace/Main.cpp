// corvalle-marketplace: plays the marketplace on a local address, or writes a world for it.
//   corvalle-marketplace serve --world FILE [--port N] [--address A] [--threads T]
//     prints the bound port on a line of its own, then serves until SIGINT or SIGTERM.
//   corvalle-marketplace generate --seed S --stores N --items M [--include WANTED_LIST]...
//                                 [--store-sizes]
//     writes the world's JSON to standard output.
//   corvalle-marketplace generate --family NAME [--seed S] [--stores N] [--items M]
//                                 [--wanted-lots L] [--wanted-list FILE]
//     the same for a family's world (sizes default to the family's usual ones), and writes the
//     family's wanted list to FILE.

#include <CLI/CLI.hpp>
#include <csignal>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Source/Base/BrickStore/XmlParser.h"
#include "Source/Base/Logging.h"
#include "Tools/Marketplace/MarketplaceServer.h"
#include "Tools/Marketplace/WorldGenerator.h"

namespace {

using namespace Corvalle::Marketplace;

int Serve(const std::string& worldPath, std::uint16_t port, const std::string& address,
          unsigned threads) {
  World world = World::FromFile(worldPath);
  // The answering threads inherit this mask, so the signals reach sigwait below only.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  MarketplaceServer server(std::move(world), threads);
  const std::uint16_t bound = server.Start(port, address);
  std::cout << bound << std::endl;
  int received = 0;
  sigwait(&signals, &received);
  server.Stop();
  return 0;
}

int Generate(const GeneratorOptions& baseOptions, const std::vector<std::string>& includes) {
  GeneratorOptions options = baseOptions;
  const auto parser = Corvalle::BrickStore::CreateXmlParser();
  for (const std::string& path : includes) {
    const auto items = parser->ParseItems(path.c_str());
    if (!items) {
      std::cerr << "corvalle-marketplace: cannot read the wanted list " << path << "\n";
      return 1;
    }
    for (const Corvalle::Item& item : *items) {
      // Lists in the marketplace's own format carry no names; their reader gives the id.
      const std::string name = item.Name() == item.Id() ? "" : item.Name();
      options.include.push_back({Corvalle::ToCharacter(item.Type()), item.Id(), item.Color().Id(),
                                 item.Quantity(), name});
    }
  }
  std::cout << GenerateWorld(options).ToJson();
  std::cout.flush();
  return std::cout ? 0 : 1;
}

int GenerateFamily(const GeneratorOptions& options, const std::string& wantedListPath) {
  if (!wantedListPath.empty()) {
    std::ofstream list(wantedListPath, std::ios::binary);
    list << WantedListXml(FamilyWantedList(options));
    list.close();
    if (!list) {
      std::cerr << "corvalle-marketplace: cannot write the wanted list " << wantedListPath << "\n";
      return 1;
    }
  }
  std::cout << GenerateWorld(options).ToJson();
  std::cout.flush();
  return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Plays the BrickLink marketplace on a local address for tests and demonstrations"};
  app.require_subcommand(1);

  std::string worldPath;
  std::uint16_t port = 0;
  std::string address = "127.0.0.1";
  unsigned threads = 2;
  CLI::App* serve = app.add_subcommand("serve", "Serve a world until interrupted");
  serve->add_option("--world", worldPath, "World file (JSON)")->required();
  serve->add_option("--port", port, "Port to listen on; 0 picks a free one")->capture_default_str();
  serve->add_option("--address", address, "Address to listen on")->capture_default_str();
  serve->add_option("--threads", threads, "Answering threads")
      ->capture_default_str()
      ->check(CLI::Range(1U, 64U));

  GeneratorOptions options;
  std::vector<std::string> includes;
  std::string familyName;
  std::string wantedListPath;
  CLI::App* generate = app.add_subcommand("generate", "Write a generated world to stdout");
  CLI::Option* seed = generate->add_option("--seed", options.seed,
                                           "Seed of the generator (required without --family)");
  CLI::Option* stores = generate->add_option("--stores", options.stores,
                                             "Number of stores (required without --family)");
  CLI::Option* items = generate->add_option("--items", options.items,
                                            "Number of price guides (required without --family)");
  generate->add_option("--include", includes,
                       "Wanted list whose items the world must offer (repeatable)");
  generate->add_flag("--store-sizes", options.storeSizes,
                     "Stores of very different sizes, a few large ones carrying most items");
  std::vector<std::string> familyNames;
  for (const WorldFamily family : AllFamilies()) {
    familyNames.emplace_back(FamilyName(family));
  }
  CLI::Option* family =
      generate
          ->add_option("--family", familyName,
                       "A world of one of the families, with its wanted list; --seed, --stores "
                       "and --items default to the family's usual ones, --include and "
                       "--store-sizes do not apply")
          ->check(CLI::IsMember(familyNames))
          ->excludes("--include")
          ->excludes("--store-sizes");
  std::size_t wantedLots = 0;
  CLI::Option* lots =
      generate
          ->add_option("--wanted-lots", wantedLots,
                       "Lines of the family's wanted list (default: 60; one-item has one)")
          ->needs(family);
  generate->add_option("--wanted-list", wantedListPath, "Write the family's wanted list here")
      ->needs(family);

  CLI11_PARSE(app, argc, argv);
  if (generate->parsed() && !family->count()) {
    // Without a family, the sizes are what the world is made of: none has a default.
    for (const CLI::Option* required : {seed, stores, items}) {
      if (required->count() == 0) {
        return app.exit(CLI::RequiredError(required->get_name()));
      }
    }
  }
  if (family->count()) {
    GeneratorOptions familyOptions = FamilyOptions(*FamilyByName(familyName));
    familyOptions.seed = seed->count() ? options.seed : familyOptions.seed;
    familyOptions.stores = stores->count() ? options.stores : familyOptions.stores;
    familyOptions.items = items->count() ? options.items : familyOptions.items;
    familyOptions.wantedLots = lots->count() ? wantedLots : familyOptions.wantedLots;
    options = familyOptions;
  }
  // The wanted-list reader logs every item: keep its errors only. Records go to standard error,
  // which matters here because standard output carries the port or the world.
  Utilities::InitializeLogging(Utilities::Severity::error);
  try {
    if (serve->parsed()) {
      return Serve(worldPath, port, address, threads);
    }
    if (options.family) {
      return GenerateFamily(options, wantedListPath);
    }
    return Generate(options, includes);
  } catch (const std::exception& error) {
    std::cerr << "corvalle-marketplace: " << error.what() << "\n";
    return 1;
  }
}
