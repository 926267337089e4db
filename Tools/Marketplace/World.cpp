#include "Tools/Marketplace/World.h"

#include <algorithm>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "Source/Base/BrickLink/MarketplaceHost.h"
#include "Tools/Marketplace/ColorGuideData.h"
#include "Source/Base/Corvalle.h"

namespace Corvalle::Marketplace {

namespace {

using nlohmann::json;
using ordered = nlohmann::ordered_json;

[[noreturn]] void Fail(const std::string& message) {
  throw std::runtime_error("Invalid world: " + message);
}

const json& Required(const json& object, const char* key, const std::string& where) {
  const auto entry = object.find(key);
  if (entry == object.end()) {
    Fail(where + " has no \"" + key + "\"");
  }
  return *entry;
}

std::uint32_t ToUnsigned(const json& value, const std::string& what) {
  if (!value.is_number_integer() || value.get<std::int64_t>() < 0 ||
      value.get<std::int64_t>() > 0xFFFFFFFFLL) {
    Fail(what + " is not an unsigned 32-bit number");
  }
  return static_cast<std::uint32_t>(value.get<std::int64_t>());
}

double ToPrice(const json& value, const std::string& what) {
  if (!value.is_number() || value.get<double>() < 0.0) {
    Fail(what + " is not a price of zero or more");
  }
  return value.get<double>();
}

std::string ToText(const json& value, const std::string& what) {
  if (!value.is_string()) {
    Fail(what + " is not a string");
  }
  return value.get<std::string>();
}

std::vector<WorldLot> ReadLots(const json& guide, const char* key, const std::string& where) {
  std::vector<WorldLot> lots;
  const auto entry = guide.find(key);
  if (entry == guide.end()) {
    return lots;
  }
  if (!entry->is_array()) {
    Fail(where + " \"" + key + "\" is not an array");
  }
  for (const json& lot : *entry) {
    const std::string lotWhere = where + " lot";
    if (!lot.is_object()) {
      Fail(lotWhere + " is not an object");
    }
    lots.push_back({ToUnsigned(Required(lot, "store", lotWhere), lotWhere + " store"),
                    ToUnsigned(Required(lot, "quantity", lotWhere), lotWhere + " quantity"),
                    ToPrice(Required(lot, "price", lotWhere), lotWhere + " price")});
  }
  return lots;
}

std::vector<WorldSale> ReadSales(const json& guide, const char* key, const std::string& where) {
  std::vector<WorldSale> sales;
  const auto entry = guide.find(key);
  if (entry == guide.end()) {
    return sales;
  }
  if (!entry->is_array()) {
    Fail(where + " \"" + key + "\" is not an array");
  }
  for (const json& sale : *entry) {
    const std::string saleWhere = where + " sale";
    if (!sale.is_object()) {
      Fail(saleWhere + " is not an object");
    }
    sales.push_back({ToUnsigned(Required(sale, "quantity", saleWhere), saleWhere + " quantity"),
                     ToPrice(Required(sale, "price", saleWhere), saleWhere + " price")});
  }
  return sales;
}

ordered LotsToJson(const std::vector<WorldLot>& lots) {
  ordered result = ordered::array();
  for (const WorldLot& lot : lots) {
    result.push_back({{"store", lot.storeId}, {"quantity", lot.quantity}, {"price", lot.price}});
  }
  return result;
}

ordered SalesToJson(const std::vector<WorldSale>& sales) {
  ordered result = ordered::array();
  for (const WorldSale& sale : sales) {
    result.push_back({{"quantity", sale.quantity}, {"price", sale.price}});
  }
  return result;
}

std::uint32_t KeyColor(char type, std::uint32_t color) { return type == 'P' ? color : 0; }

}  // namespace

World::World(std::string siteName_, std::map<std::uint32_t, double> rates_,
             std::vector<WorldColor> colors_, std::vector<WorldStore> stores_,
             std::vector<WorldPriceGuide> priceGuides_)
    : siteName(std::move(siteName_)),
      rates(std::move(rates_)),
      colors(std::move(colors_)),
      stores(std::move(stores_)),
      priceGuides(std::move(priceGuides_)) {
  BuildIndexes();
}

World World::FromJson(const std::string& text) {
  json root;
  try {
    root = json::parse(text);
  } catch (const json::parse_error& error) {
    Fail(std::string("not JSON (") + error.what() + ")");
  }
  if (!root.is_object()) {
    Fail("the top level is not an object");
  }

  std::string siteName = BrickLink::kMarketplaceSiteName;
  if (const auto entry = root.find("siteName"); entry != root.end()) {
    siteName = ToText(*entry, "siteName");
  }

  std::map<std::uint32_t, double> rates;
  if (const auto entry = root.find("rates"); entry != root.end()) {
    if (!entry->is_object()) {
      Fail("rates is not an object");
    }
    for (const auto& [key, value] : entry->items()) {
      std::size_t used = 0;
      unsigned long id = 0;
      try {
        id = std::stoul(key, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used != key.size() || key.empty() || id > 0xFFFFFFFFUL) {
        Fail("rates key \"" + key + "\" is not a currency id");
      }
      const double rate = ToPrice(value, "rate of currency " + key);
      if (rate <= 0.0) {
        Fail("rate of currency " + key + " is not positive");
      }
      rates[static_cast<std::uint32_t>(id)] = rate;
    }
  }
  rates.try_emplace(1, 1.0);

  std::vector<WorldColor> colors;
  if (const auto entry = root.find("colors"); entry != root.end()) {
    if (!entry->is_array()) {
      Fail("colors is not an array");
    }
    for (const json& color : *entry) {
      const std::string where = "a colour";
      if (!color.is_object()) {
        Fail(where + " is not an object");
      }
      WorldColor parsed;
      parsed.id = ToUnsigned(Required(color, "id", where), "colour id");
      parsed.name = ToText(Required(color, "name", where), "colour name");
      parsed.rgb = ToText(Required(color, "rgb", where), "colour rgb");
      parsed.type = "Solid";
      if (const auto type = color.find("type"); type != color.end()) {
        parsed.type = ToText(*type, "colour type");
      }
      colors.push_back(std::move(parsed));
    }
  }

  std::vector<WorldStore> stores;
  const json& storeArray = Required(root, "stores", "the world");
  if (!storeArray.is_array()) {
    Fail("stores is not an array");
  }
  for (const json& store : storeArray) {
    if (!store.is_object()) {
      Fail("a store is not an object");
    }
    WorldStore parsed;
    parsed.id = ToUnsigned(Required(store, "id", "a store"), "store id");
    const std::string where = "store " + std::to_string(parsed.id);
    parsed.name = ToText(Required(store, "name", where), where + " name");
    parsed.countryId = ToText(Required(store, "countryId", where), where + " countryId");
    if (const auto currency = store.find("currencyId"); currency != store.end()) {
      parsed.currencyId = ToUnsigned(*currency, where + " currencyId");
    }
    if (const auto shipsTo = store.find("shipsTo"); shipsTo != store.end()) {
      if (!shipsTo->is_array()) {
        Fail(where + " shipsTo is not an array");
      }
      parsed.shipsTo.emplace();
      for (const json& country : *shipsTo) {
        parsed.shipsTo->insert(ToText(country, where + " shipsTo entry"));
      }
    }
    stores.push_back(std::move(parsed));
  }

  std::vector<WorldPriceGuide> priceGuides;
  const json& guideArray = Required(root, "priceGuides", "the world");
  if (!guideArray.is_array()) {
    Fail("priceGuides is not an array");
  }
  for (const json& guide : guideArray) {
    if (!guide.is_object()) {
      Fail("a price guide is not an object");
    }
    WorldPriceGuide parsed;
    const std::string type = ToText(Required(guide, "type", "a price guide"), "item type");
    if (type.size() != 1 || std::string(kItemTypeLetters).find(type[0]) == std::string::npos) {
      Fail("item type \"" + type + "\" is not one of " + kItemTypeLetters);
    }
    parsed.type = type[0];
    parsed.id = ToText(Required(guide, "id", "a price guide"), "item id");
    if (parsed.id.empty()) {
      Fail("a price guide has an empty item id");
    }
    const std::string where = std::string("price guide ") + parsed.type + " " + parsed.id;
    if (const auto color = guide.find("color"); color != guide.end()) {
      parsed.color = ToUnsigned(*color, where + " color");
    }
    if (const auto name = guide.find("name"); name != guide.end()) {
      parsed.name = ToText(*name, where + " name");
    }
    parsed.newLots = ReadLots(guide, "new", where);
    parsed.usedLots = ReadLots(guide, "used", where);
    parsed.soldNew = ReadSales(guide, "soldNew", where);
    parsed.soldUsed = ReadSales(guide, "soldUsed", where);
    priceGuides.push_back(std::move(parsed));
  }

  return World(std::move(siteName), std::move(rates), std::move(colors), std::move(stores),
               std::move(priceGuides));
}

World World::FromStream(std::istream& input) {
  std::ostringstream text;
  text << input.rdbuf();
  if (input.bad()) {
    throw std::runtime_error("Unable to read the world");
  }
  return FromJson(text.str());
}

World World::FromFile(const std::string& path) {
  std::ifstream input(path, std::ios::binary);
  if (!input) {
    throw std::runtime_error("Unable to open the world file " + path);
  }
  return FromStream(input);
}

void World::BuildIndexes() {
  for (std::size_t index = 0; index < stores.size(); ++index) {
    if (!storeIndex.emplace(stores[index].id, index).second) {
      Fail("store id " + std::to_string(stores[index].id) + " appears twice");
    }
  }
  for (std::size_t index = 0; index < priceGuides.size(); ++index) {
    const WorldPriceGuide& guide = priceGuides[index];
    const std::string where = std::string("price guide ") + guide.type + " " + guide.id;
    if (!guideIndex
             .emplace(std::make_tuple(guide.type, guide.id, KeyColor(guide.type, guide.color)),
                      index)
             .second) {
      Fail(where + " in colour " + std::to_string(guide.color) + " appears twice");
    }
    catalogNumbers.try_emplace({guide.type, guide.id},
                               static_cast<std::uint32_t>(catalogNumbers.size() + 1));
    for (const auto* lots : {&guide.newLots, &guide.usedLots}) {
      for (const WorldLot& lot : *lots) {
        if (storeIndex.count(lot.storeId) == 0) {
          Fail(where + " has a lot of unknown store " + std::to_string(lot.storeId));
        }
      }
    }
  }
}

std::string World::ToJson() const {
  // Written by hand around the library's output so that each store and each price guide keeps
  // to one line: a world of thousands of stores stays readable and diffs stay small.
  std::ostringstream out;
  out << "{\n  \"siteName\": " << json(siteName).dump() << ",\n  \"rates\": {";
  bool first = true;
  for (const auto& [id, rate] : rates) {
    out << (first ? "" : ", ") << json(std::to_string(id)).dump() << ": " << json(rate).dump();
    first = false;
  }
  out << "}";
  if (!colors.empty()) {
    out << ",\n  \"colors\": [";
    for (std::size_t index = 0; index < colors.size(); ++index) {
      const WorldColor& color = colors[index];
      ordered entry = {
          {"id", color.id}, {"name", color.name}, {"rgb", color.rgb}, {"type", color.type}};
      out << (index == 0 ? "\n    " : ",\n    ") << entry.dump();
    }
    out << "\n  ]";
  }
  out << ",\n  \"stores\": [";
  for (std::size_t index = 0; index < stores.size(); ++index) {
    const WorldStore& store = stores[index];
    ordered entry = {{"id", store.id},
                     {"name", store.name},
                     {"countryId", store.countryId},
                     {"currencyId", store.currencyId}};
    if (store.shipsTo) {
      entry["shipsTo"] = std::vector<std::string>(store.shipsTo->begin(), store.shipsTo->end());
    }
    out << (index == 0 ? "\n    " : ",\n    ") << entry.dump();
  }
  out << "\n  ],\n  \"priceGuides\": [";
  for (std::size_t index = 0; index < priceGuides.size(); ++index) {
    const WorldPriceGuide& guide = priceGuides[index];
    ordered entry = {
        {"type", std::string(1, guide.type)}, {"id", guide.id}, {"color", guide.color}};
    if (!guide.name.empty()) {
      entry["name"] = guide.name;
    }
    entry["new"] = LotsToJson(guide.newLots);
    entry["used"] = LotsToJson(guide.usedLots);
    if (!guide.soldNew.empty()) {
      entry["soldNew"] = SalesToJson(guide.soldNew);
    }
    if (!guide.soldUsed.empty()) {
      entry["soldUsed"] = SalesToJson(guide.soldUsed);
    }
    out << (index == 0 ? "\n    " : ",\n    ") << entry.dump();
  }
  out << "\n  ]\n}\n";
  return out.str();
}

const std::vector<WorldColor>& World::Colors() const {
  return colors.empty() ? BundledColorGuide() : colors;
}

const WorldStore* World::FindStore(std::uint32_t storeId) const {
  const auto entry = storeIndex.find(storeId);
  return entry == storeIndex.end() ? nullptr : &stores[entry->second];
}

const WorldPriceGuide* World::FindPriceGuide(char type, const std::string& id,
                                             std::uint32_t color) const {
  const auto entry = guideIndex.find(std::make_tuple(type, id, KeyColor(type, color)));
  return entry == guideIndex.end() ? nullptr : &priceGuides[entry->second];
}

std::uint32_t World::CatalogNumber(const WorldPriceGuide& guide) const {
  const auto entry = catalogNumbers.find({guide.type, guide.id});
  return entry == catalogNumbers.end() ? 0 : entry->second;
}

std::vector<const WorldLot*> LotsInPageOrder(const std::vector<WorldLot>& lots) {
  std::vector<const WorldLot*> sorted;
  sorted.reserve(lots.size());
  for (const WorldLot& lot : lots) {
    sorted.push_back(&lot);
  }
  std::stable_sort(sorted.begin(), sorted.end(), [](const WorldLot* first, const WorldLot* second) {
    return first->price < second->price;
  });
  return sorted;
}

std::vector<WorldColor> ParseColorGuide(const std::string& text) {
  std::vector<WorldColor> colors;
  std::istringstream lines(text);
  std::string line;
  bool header = true;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (header) {
      header = false;
      continue;
    }
    if (line.empty()) {
      continue;
    }
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
      const std::size_t tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) {
        break;
      }
      start = tab + 1;
    }
    if (fields.size() < 4 || fields[2].empty() || fields[0].empty() ||
        fields[0].find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    colors.push_back(
        {static_cast<std::uint32_t>(std::stoul(fields[0])), fields[1], fields[2], fields[3]});
  }
  return colors;
}

const std::vector<WorldColor>& BundledColorGuide() {
  static const std::vector<WorldColor> colors = ParseColorGuide(kBundledColorGuideText);
  return colors;
}

}  // namespace Corvalle::Marketplace
