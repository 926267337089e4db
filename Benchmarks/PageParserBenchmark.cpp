// Reading a price guide page of 3000 lots per condition, written the way the local marketplace
// writes it: the parse a search does once per item that is not in the cache. And a page that
// almost matches, on one line, where a reader that takes back its runs to try later markers
// spends billions of steps before it gives up (a third of a second per block in this build).

#include <benchmark/benchmark.h>

#include "Source/Base/BrickLink/PriceGuideParser.h"

namespace {

std::string BigPriceGuidePage() {
  std::string page =
      "<HTML><BODY><TABLE><TR><TD BGCOLOR=\"#C0C0C0\"><TABLE><TR>\n"
      "<TD>(Unavailable)</TD>\n<TD>(Unavailable)</TD>\n";
  for (int condition = 0; condition < 2; ++condition) {
    page +=
        "<TD><TABLE><TR><TD>Total Lots:</TD><TD><B>3000</B></TD></TR><TR><TD>Total "
        "Qty:</TD><TD><B>9000</B></TD></TR><TR><TD>Min Price:</TD><TD><B>US&nbsp;$0.0100</B></TD>"
        "</TR><TR><TD>Avg Price:</TD><TD><B>US&nbsp;$0.5000</B></TD></TR><TR><TD>Qty Avg "
        "Price:</TD><TD><B>US&nbsp;$0.4000</B></TD></TR><TR><TD>Max Price:</TD><TD><B>US&nbsp;"
        "$1,234.0000</B></TD></TR></TABLE></TD>\n";
  }
  page += "</TR></TABLE></TD></TR></TABLE>\n";
  for (int condition = 0; condition < 2; ++condition) {
    page += "<TABLE><TR><TD><B>Currently Available</B></TD></TR>";
    for (int lot = 0; lot < 3000; ++lot) {
      page += "<TR ALIGN=\"RIGHT\"><TD NOWRAP>&nbsp;<A HREF=\"/store.asp?sID=" +
              std::to_string(100000 + lot) + "&itemID=3001\"><IMG SRC=\"/images/box16" +
              (lot % 5 == 0 ? "N" : "Y") +
              ".png\" TITLE=\"Store: Bricks &amp; More\" ALT=\"Store: Bricks &amp; More\"></A>"
              "</TD><TD>" +
              std::to_string(1 + lot % 5) + "</TD><TD NOWRAP>&nbsp;~US&nbsp;$" +
              std::to_string(lot) + ".1234</TD></TR>";
    }
    page += "</TABLE>\n";  // one line per section, as the marketplace wrote its tables
  }
  return page + "</BODY></HTML>\n";
}

void BM_ParsePriceGuide3000Lots(benchmark::State& state) {
  const std::string page = BigPriceGuidePage();
  const auto parser = Corvalle::BrickLink::CreatePriceGuideParser();
  for (auto _ : state) {
    auto guides = parser->ParsePriceGuide(page, true);
    benchmark::DoNotOptimize(guides.first.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
  state.counters["page_bytes"] = static_cast<double>(page.size());
}
BENCHMARK(BM_ParsePriceGuide3000Lots)->Unit(benchmark::kMillisecond);

// Every marker of a statistics block but the last, many times over on one line.
std::string AlmostMatchingPriceGuidePage() {
  std::string page = "<TABLE><TR><TD BGCOLOR=\"#C0C0C0\"><TD>Times Sold:</TD>";
  for (int repeat = 0; repeat < 200; ++repeat) {
    page +=
        "<TD><B>152</B></TD><TD>Total Qty:</TD><TD><B>4023</B></TD><TD>Min Price:</TD><TD><B>"
        "US&nbsp;$0.0512</B></TD><TD>Avg Price:</TD><TD><B>US&nbsp;$0.1234</B></TD><TD>Qty Avg "
        "Price:</TD><TD><B>US&nbsp;$0.1100</B></TD>";
  }
  return page + "<TD>Currently Available</TD></TR></TABLE>\n";
}

void BM_ParseAlmostMatchingPriceGuide(benchmark::State& state) {
  const std::string page = AlmostMatchingPriceGuidePage();
  const auto parser = Corvalle::BrickLink::CreatePriceGuideParser();
  for (auto _ : state) {
    auto guides = parser->ParsePriceGuide(page, true);
    benchmark::DoNotOptimize(guides.first.get());
  }
  state.counters["page_bytes"] = static_cast<double>(page.size());
}
BENCHMARK(BM_ParseAlmostMatchingPriceGuide)->Unit(benchmark::kMillisecond);

}  // namespace
