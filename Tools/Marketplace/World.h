#pragma once

// The world that the local marketplace serves: its colours, stores, exchange rates and the lots
// that the stores offer, read from and written to a JSON file.
//
// File format (every key but "stores" and "priceGuides" may be left out):
//   {"siteName": "BrickLink Reference Catalog",
//    "rates": {"1": 1.0, "2": 0.92},              units of currency id per US dollar
//    "colors": [{"id": 11, "name": "Black", "rgb": "05131D", "type": "Solid"}],
//    "stores": [{"id": 1001, "name": "...", "countryId": "DE", "currencyId": 2,
//                "shipsTo": ["DE", "FR"]}],        no "shipsTo": ships everywhere
//    "priceGuides": [{"type": "P", "id": "3001", "color": 11, "name": "Brick 2 x 4",
//                     "new": [{"store": 1001, "quantity": 120, "price": 0.12}],
//                     "used": [...], "soldNew": [{"quantity": 3, "price": 0.1}],
//                     "soldUsed": [...]}]}
// "siteName" defaults to the name that the client expects (kMarketplaceSiteName); a world may
// change it to test a client against a site whose titles it does not know.
// Prices are in US dollars. Without "colors" the colour page shows the bundled colour guide;
// without "rates" only US dollars (id 1) can be shown.

#include <cstdint>
#include <istream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace Corvalle::Marketplace {

struct WorldColor {
  std::uint32_t id = 0;
  std::string name;
  std::string rgb;   // hex digits as they are to appear on the page, without "#"
  std::string type;  // the colour guide's group ("Solid", "Transparent", ...)
};

struct WorldStore {
  std::uint32_t id = 0;
  std::string name;       // plain text; the pages escape it
  std::string countryId;  // the marketplace's two-letter id; may lie outside the country table
  std::uint32_t currencyId = 1;                  // the currency in which the store prices its lots
  std::optional<std::set<std::string>> shipsTo;  // empty optional: ships everywhere
};

struct WorldLot {
  std::uint32_t storeId = 0;
  std::uint32_t quantity = 0;
  double price = 0.0;  // unit price in US dollars
};

struct WorldSale {
  std::uint32_t quantity = 0;
  double price = 0.0;  // unit price in US dollars
};

struct WorldPriceGuide {
  char type = 'P';  // S, P, M, B, G, C, I or O
  std::string id;
  std::uint32_t color = 0;  // 0 for every type but P
  std::string name;         // optional item name for the page
  std::vector<WorldLot> newLots;
  std::vector<WorldLot> usedLots;
  std::vector<WorldSale> soldNew;
  std::vector<WorldSale> soldUsed;
};

// An immutable-after-loading world with indexes for the server's lookups. Safe to read from any
// number of threads once built.
class World {
 public:
  // Throws std::runtime_error naming the problem when the text is not valid JSON, misses a
  // required key, holds a value of the wrong kind, repeats a store id or a price guide, or has a
  // lot whose store is not among the stores.
  static World FromJson(const std::string& text);
  static World FromStream(std::istream& input);
  // Throws std::runtime_error when the file cannot be opened or read as above.
  static World FromFile(const std::string& path);

  // JSON text in the format above: the top level indented, one store or price guide per line.
  std::string ToJson() const;

  World() = default;
  World(std::string siteName, std::map<std::uint32_t, double> rates, std::vector<WorldColor> colors,
        std::vector<WorldStore> stores, std::vector<WorldPriceGuide> priceGuides);

  const std::string& SiteName() const { return siteName; }
  const std::map<std::uint32_t, double>& Rates() const { return rates; }
  // The world's own colours, or the bundled colour guide when the file gave none.
  const std::vector<WorldColor>& Colors() const;
  bool HasOwnColors() const { return !colors.empty(); }
  const std::vector<WorldStore>& Stores() const { return stores; }
  const std::vector<WorldPriceGuide>& PriceGuides() const { return priceGuides; }

  // Null when unknown. The colour matters for parts only: other types are found by type and id.
  const WorldStore* FindStore(std::uint32_t storeId) const;
  const WorldPriceGuide* FindPriceGuide(char type, const std::string& id,
                                        std::uint32_t color) const;
  // The catalogue number that the pages put in "itemID=": one per (type, id), from 1 upwards.
  std::uint32_t CatalogNumber(const WorldPriceGuide& guide) const;

 private:
  void BuildIndexes();

  std::string siteName;
  std::map<std::uint32_t, double> rates;
  std::vector<WorldColor> colors;
  std::vector<WorldStore> stores;
  std::vector<WorldPriceGuide> priceGuides;
  std::map<std::uint32_t, std::size_t> storeIndex;
  std::map<std::tuple<char, std::string, std::uint32_t>, std::size_t> guideIndex;
  std::map<std::pair<char, std::string>, std::uint32_t> catalogNumbers;
};

// The lots as a price guide page lists them: cheapest first, equal prices in the given order.
std::vector<const WorldLot*> LotsInPageOrder(const std::vector<WorldLot>& lots);

// The colour guide of about 2015 that ships with the server, in the file's order, without the
// pseudo-colour 0 "(Not Applicable)", which has no RGB value.
const std::vector<WorldColor>& BundledColorGuide();
// Reads a colour guide in the tab-separated layout of the bundled one (header line, then
// "id<TAB>name<TAB>rgb<TAB>type<TAB>..."); blank lines and rows without RGB are left out.
std::vector<WorldColor> ParseColorGuide(const std::string& text);

}  // namespace Corvalle::Marketplace
