// Throughput of the local marketplace server for price guide pages of 1000 lots on loopback:
// one client asking one page after another over fresh HTTP/1.0 connections, as the program
// does. The goal is 200 requests per second or more ("requests_per_second").

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "Source/Base/BrickLink/MarketplaceHost.h"
#include "Tools/Marketplace/MarketplaceServer.h"
#include "Tools/Marketplace/PageRenderer.h"
#include "Tools/Marketplace/WorldGenerator.h"

namespace {

using namespace Corvalle::Marketplace;

// 1000 stores, one part offered by all of them: 500 new lots and 500 used ones.
World ThousandLotWorld() {
  GeneratorOptions options;
  options.seed = 42;
  options.stores = 1000;
  options.items = 0;
  World generated = GenerateWorld(options);
  std::vector<WorldStore> stores = generated.Stores();
  WorldPriceGuide guide;
  guide.type = 'P';
  guide.id = "3001";
  guide.color = 11;
  for (std::size_t index = 0; index < stores.size(); ++index) {
    const double price = 0.05 + static_cast<double>((index * 7919) % 1000) / 4000.0;
    const auto quantity = static_cast<std::uint32_t>(1 + (index * 31) % 50);
    (index % 2 == 0 ? guide.newLots : guide.usedLots)
        .push_back({stores[index].id, quantity, price});
  }
  return World(Corvalle::BrickLink::kMarketplaceSiteName, DefaultRates(), {}, std::move(stores),
               {guide});
}

const char* const kTarget =
    "/catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2&itemType=P&itemNo=3001&colorID=11";

// One whole exchange; returns the number of bytes received, 0 on failure.
std::size_t FetchOnce(std::uint16_t port) {
  const int handle = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (handle < 0 ||
      connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (handle >= 0) {
      close(handle);
    }
    return 0;
  }
  const std::string request = std::string("GET ") + kTarget +
                              " HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept: */*\r\n"
                              "Cookie: isCountryID=US;viewCurrencyID=2;\r\n"
                              "Connection: close\r\n\r\n";
  if (send(handle, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) {
    close(handle);
    return 0;
  }
  std::size_t total = 0;
  char buffer[16384];
  ssize_t received = 0;
  while ((received = recv(handle, buffer, sizeof buffer, 0)) > 0) {
    total += static_cast<std::size_t>(received);
  }
  close(handle);
  return total;
}

void BM_MarketplaceServerPriceGuideOf1000Lots(benchmark::State& state) {
  MarketplaceServer server(ThousandLotWorld());
  const std::uint16_t port = server.Start();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::size_t received = FetchOnce(port);
    if (received == 0) {
      state.SkipWithError("request failed");
      break;
    }
    bytes += received;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["requests_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["page_bytes"] =
      state.iterations() == 0 ? 0.0 : static_cast<double>(bytes / state.iterations());
}
BENCHMARK(BM_MarketplaceServerPriceGuideOf1000Lots)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MarketplaceRenderPriceGuideOf1000Lots(benchmark::State& state) {
  const World world = ThousandLotWorld();
  const WorldPriceGuide& guide = world.PriceGuides().front();
  const DisplayCurrency currency = *FindDisplayCurrency(world, 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(RenderPriceGuidePage(world, guide, "US", currency));
  }
}
BENCHMARK(BM_MarketplaceRenderPriceGuideOf1000Lots)->Unit(benchmark::kMicrosecond);

}  // namespace
