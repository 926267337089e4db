#include "Tools/Marketplace/WorldGenerator.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <stdexcept>
#include <tuple>

#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/Currencies.h"
#include "Source/Base/BrickLink/MarketplaceHost.h"
#include "Tools/Marketplace/PageRenderer.h"

namespace Corvalle::Marketplace {

namespace {

// SplitMix64: small, fast, and fixed by its definition on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state(seed) {}

  std::uint64_t Next() {
    std::uint64_t value = (state += 0x9E3779B97F4A7C15ULL);
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
  }
  // In [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  // In [low, high].
  std::uint64_t Between(std::uint64_t low, std::uint64_t high) {
    return low + static_cast<std::uint64_t>(Uniform() * static_cast<double>(high - low + 1));
  }
  bool Chance(double probability) { return Uniform() < probability; }
  double Normal() {
    const double first = 1.0 - Uniform();  // (0, 1]
    const double second = Uniform();
    return std::sqrt(-2.0 * std::log(first)) * std::cos(2.0 * std::numbers::pi * second);
  }
  double LogNormal(double median, double sigma) { return median * std::exp(sigma * Normal()); }
  template <typename T>
  const T& Pick(const std::vector<T>& values) {
    return values[Between(0, values.size() - 1)];
  }
  // An index drawn with the given weights.
  std::size_t Weighted(const std::vector<double>& weights) {
    double total = 0.0;
    for (const double weight : weights) {
      total += weight;
    }
    double point = Uniform() * total;
    for (std::size_t index = 0; index < weights.size(); ++index) {
      point -= weights[index];
      if (point < 0.0) {
        return index;
      }
    }
    return weights.size() - 1;
  }

 private:
  std::uint64_t state;
};

struct CountryWeight {
  const char* id;
  double weight;
};

// Roughly the marketplace's sellers by country.
const std::vector<CountryWeight>& SellerCountries() {
  static const std::vector<CountryWeight> countries = {
      {"US", 38.0}, {"DE", 14.0}, {"UK", 6.0}, {"CA", 5.0},  {"NL", 4.0}, {"FR", 3.0}, {"IT", 2.5},
      {"ES", 2.0},  {"PL", 2.0},  {"AU", 2.5}, {"CZ", 1.5},  {"SE", 1.5}, {"AT", 1.5}, {"BE", 1.5},
      {"DK", 1.0},  {"CH", 1.0},  {"PT", 1.0}, {"HU", 1.0},  {"FI", 0.6}, {"NO", 0.6}, {"IE", 0.5},
      {"SK", 0.5},  {"SI", 0.4},  {"HR", 0.4}, {"GR", 0.4},  {"RO", 0.4}, {"EE", 0.3}, {"LT", 0.3},
      {"LV", 0.3},  {"LU", 0.2},  {"RU", 0.6}, {"UA", 0.3},  {"RS", 0.2}, {"BG", 0.2}, {"JP", 1.0},
      {"HK", 0.8},  {"MY", 0.8},  {"SG", 0.5}, {"TW", 0.4},  {"KR", 0.4}, {"PH", 0.4}, {"CN", 0.4},
      {"TH", 0.2},  {"ID", 0.2},  {"IN", 0.1}, {"NZ", 0.5},  {"MX", 0.4}, {"CR", 0.1}, {"BR", 0.6},
      {"AR", 0.2},  {"CL", 0.2},  {"PE", 0.1}, {"ZA", 0.3},  {"IL", 0.3}, {"TR", 0.2}, {"LB", 0.05},
      {"MC", 0.05}, {"SM", 0.05}, {"BY", 0.1}, {"BA", 0.05},
  };
  return countries;
}

// Countries with sellers that the program's country table does not list.
const std::vector<std::string>& UnlistedCountries() {
  static const std::vector<std::string> countries = {"IS", "CO", "AE", "VN", "UY", "MT"};
  return countries;
}

std::uint32_t CurrencyOfCountry(const std::string& countryId) {
  static const std::map<std::string, std::uint32_t> currencies = {
      {"US", 1},   {"CA", 32},  {"MX", 95}, {"UK", 27}, {"CH", 136}, {"SE", 135}, {"DK", 45},
      {"NO", 106}, {"PL", 114}, {"CZ", 43}, {"HU", 66}, {"AU", 14},  {"NZ", 102}, {"JP", 74},
      {"HK", 65},  {"SG", 123}, {"MY", 90}, {"BR", 26}, {"RU", 117}, {"ZA", 170}, {"AT", 2},
      {"BE", 2},   {"DE", 2},   {"EE", 2},  {"ES", 2},  {"FI", 2},   {"FR", 2},   {"GR", 2},
      {"IE", 2},   {"IT", 2},   {"LV", 2},  {"LT", 2},  {"LU", 2},   {"NL", 2},   {"PT", 2},
      {"SK", 2},   {"SI", 2},   {"MC", 2},  {"SM", 2},  {"MT", 2},
  };
  const auto entry = currencies.find(countryId);
  return entry == currencies.end() ? 1 : entry->second;
}

std::string StoreName(Random& random) {
  static const std::vector<std::string> adjectives = {
      "Classic", "Vintage", "Happy",  "Little", "Golden", "Blue",  "Red",   "Brick",
      "Stud",    "Tiny",    "Modern", "Retro",  "Nordic", "Lucky", "Urban", "Dutch"};
  static const std::vector<std::string> nouns = {
      "Brick", "Bricks", "Plates", "Studs",    "Blocks", "Parts",   "Castle",  "Space",
      "Town",  "Pieces", "Tiles",  "Minifigs", "Train",  "Technic", "Builders"};
  static const std::vector<std::string> suffixes = {
      "Shop", "Store", "Corner", "World",  "Depot",    "Warehouse", "Barn",
      "Box",  "Haven", "Outlet", "Market", "Emporium", "Attic",     "Vault"};
  static const std::vector<std::string> people = {"Jim",   "Anna",  "Mike",   "Sabine", "Lars",
                                                  "Marco", "Chloé", "Jürgen", "Sven",   "O'Neil",
                                                  "Kasia", "Tomáš", "Renée",  "Pedro",  "Ingrid"};
  static const std::vector<std::string> foreign = {
      "Steinchen-Lädchen", "Klötzchen Müller", "Les Briques de Zoé",  "Ladrillos Peñón",
      "Kostki z Łodzi",    "Brikker på Ærø",   "Mattoncini d'Oro",    "Stenen & Zo",
      "Kockák Kft.",       "Kloss-Bua",        "Tijolinhos São João", "Bausteine Größer"};
  switch (random.Between(0, 5)) {
    case 0:
      return random.Pick(adjectives) + " " + random.Pick(nouns) + " " + random.Pick(suffixes);
    case 1:
      return random.Pick(people) + "'s " + random.Pick(nouns);
    case 2:
      return random.Pick(nouns) + " & " + random.Pick(nouns);
    case 3:
      return random.Pick(foreign);
    case 4:
      return "The " + random.Pick(nouns) + " " + random.Pick(suffixes);
    default:
      return random.Pick(adjectives) + " " + random.Pick(suffixes) + " - " + random.Pick(people);
  }
}

// Adds to a store's destinations every country of its own region.
void ShipToOwnRegion(WorldStore& store) {
  const auto& countries = BrickLink::GetCountries();
  const auto home = std::find_if(countries.begin(), countries.end(),
                                 [&](const BrickLink::Country& country) {
                                   return country.id == store.countryId;
                                 });
  if (home == countries.end()) {
    return;
  }
  for (const BrickLink::Country& other : countries) {
    if (other.region == home->region) {
      store.shipsTo->insert(other.id);
    }
  }
}

std::vector<WorldStore> GenerateStores(Random& random, std::size_t count) {
  std::vector<double> weights;
  for (const CountryWeight& country : SellerCountries()) {
    weights.push_back(country.weight);
  }
  // A few stores, one in two hundred (at least one from fifty stores on), lie outside the table.
  std::set<std::size_t> unlisted;
  const std::size_t unlistedCount = count >= 50 ? std::max<std::size_t>(1, count / 200) : 0;
  while (unlisted.size() < unlistedCount) {
    unlisted.insert(random.Between(0, count - 1));
  }

  std::vector<WorldStore> stores;
  std::set<std::string> names;
  std::uint32_t id = 1000;
  for (std::size_t index = 0; index < count; ++index) {
    WorldStore store;
    id += static_cast<std::uint32_t>(random.Between(1, 60));
    store.id = id;
    store.countryId = unlisted.count(index) != 0
                          ? random.Pick(UnlistedCountries())
                          : std::string(SellerCountries()[random.Weighted(weights)].id);
    store.currencyId = CurrencyOfCountry(store.countryId);
    std::string name = StoreName(random);
    for (int suffix = 2; !names.insert(name).second; ++suffix) {
      name = StoreName(random);
      if (suffix > 4) {
        name.append(" ").append(std::to_string(suffix));
      }
    }
    store.name = name;
    if (random.Chance(0.25)) {
      // Domestic only, or to the store's own region.
      store.shipsTo.emplace();
      store.shipsTo->insert(store.countryId);
      if (random.Chance(0.6)) {
        ShipToOwnRegion(store);
      }
    }
    stores.push_back(std::move(store));
  }
  return stores;
}

struct TypeProfile {
  char type;
  double weight;
  double medianPrice;  // US dollars
  double popularity;   // share of the stores that offer the most popular items of the type
};

const std::vector<TypeProfile>& TypeProfiles() {
  static const std::vector<TypeProfile> profiles = {
      {'P', 80.0, 0.08, 0.85}, {'M', 8.0, 3.0, 0.4},  {'S', 5.0, 40.0, 0.2},
      {'I', 2.0, 5.0, 0.15},   {'B', 1.0, 8.0, 0.05}, {'G', 2.0, 10.0, 0.1},
      {'C', 1.0, 6.0, 0.05},   {'O', 1.0, 12.0, 0.05}};
  return profiles;
}

const TypeProfile& ProfileOf(char type) {
  for (const TypeProfile& profile : TypeProfiles()) {
    if (profile.type == type) {
      return profile;
    }
  }
  return TypeProfiles().front();
}

std::string ItemId(Random& random, char type) {
  static const std::vector<std::string> commonParts = {
      "3001", "3002",  "3003",  "3004",  "3005", "3008",  "3009",  "3010",  "3020",  "3021",
      "3022", "3023",  "3024",  "3031",  "3032", "3034",  "3035",  "3036",  "3037",  "3038",
      "3039", "3040b", "3045",  "3062b", "3065", "3068b", "3069b", "3070b", "3176",  "3298",
      "3460", "3622",  "3623",  "3659",  "3660", "3665",  "3666",  "3710",  "3795",  "3832",
      "4070", "4073",  "4081b", "4162",  "4274", "4477",  "4589b", "6141",  "6636",  "2412b",
      "2420", "2431",  "2432",  "2445",  "2456", "2780",  "3941",  "4740",  "60592", "60601"};
  switch (type) {
    case 'P':
      if (random.Chance(0.6)) {
        return random.Pick(commonParts);
      }
      return std::to_string(random.Between(2000, 99999)) +
             (random.Chance(0.2) ? std::string(1, static_cast<char>('a' + random.Between(0, 3)))
                                 : "");
    case 'M': {
      static const std::vector<std::string> themes = {"cas", "sp", "twn", "cty", "sw", "hp"};
      std::string number = std::to_string(random.Between(1, 999));
      number.insert(0, 3 - std::min<std::size_t>(3, number.size()), '0');
      return random.Pick(themes) + number;
    }
    case 'S':
    case 'I':
    case 'O':
      return std::to_string(random.Between(375, 79999)) + "-1";
    case 'B':
      return std::string("b").append(std::to_string(random.Between(15, 60))).append("ldb");
    case 'G':
      return std::to_string(random.Between(850000, 853999));
    default:
      return std::string("c").append(std::to_string(random.Between(1990, 2015))).append("uk");
  }
}

// Colours weighted towards the ones most offered on the marketplace.
std::uint32_t PartColor(Random& random) {
  static const std::vector<std::uint32_t> popular = {11, 86, 85, 1, 5, 2, 7, 3, 88, 6, 12, 36};
  if (random.Chance(0.7)) {
    return random.Pick(popular);
  }
  return random.Pick(BundledColorGuide()).id;
}

std::uint32_t LotQuantity(Random& random, char type) {
  if (type != 'P') {
    return random.Chance(0.85) ? 1 : static_cast<std::uint32_t>(random.Between(2, 6));
  }
  const double draw = random.Uniform();
  if (draw < 0.62) {
    return static_cast<std::uint32_t>(random.Between(1, 5));
  }
  if (draw < 0.9) {
    return static_cast<std::uint32_t>(random.Between(6, 40));
  }
  // Pareto tail from 40 pieces upwards, cut at 20000.
  const double tail = 40.0 / std::pow(1.0 - random.Uniform(), 1.0 / 1.1);
  return static_cast<std::uint32_t>(std::min(20000.0, std::floor(tail)));
}

double RoundPrice(double price) { return std::max(0.001, std::round(price * 10000.0) / 10000.0); }

double LotPrice(Random& random, double value) {
  double price = random.LogNormal(value, 0.45);
  if (random.Chance(0.03)) {
    price *= 4.0 + random.Uniform() * 16.0;  // the overpriced lots that every item has
  }
  return RoundPrice(price);
}

// Store sizes: log-normal around 1, one store in a hundred is a hundred times the median.
constexpr double kSizeSigma = 2.0;
// Stores from this size on ship everywhere, as the marketplace's large sellers do.
constexpr double kWorldwideSize = 10.0;
// Included items are offered by between kIncludedShare / kIncludedRange and kIncludedShare of
// the stores that the type's popularity gives, generated ones by up to kGeneratedShare of them:
// wanted lists hold common items, while most of the catalogue is carried by few stores.
constexpr double kIncludedShare = 0.6;
constexpr double kIncludedRange = 6.0;
constexpr double kGeneratedShare = 0.5;
// From size 1 to this size, a store's reach grows from 0 to 1 with the logarithm of its size:
// its chance of stocking both conditions of an item it offers, and twice its chance of one lot
// more in a condition.
constexpr double kFullReachSize = 1000.0;
constexpr double kExtraLotChance = 0.5;
// A store of size s sells at s^-kDiscountExponent times the price: large stores a little
// cheaper, small ones a little dearer.
constexpr double kDiscountExponent = 0.05;

// The `count` candidates (indices into sizes) that offer an item, each drawn with a probability
// proportional to its size and without replacement, ascending. Each candidate draws one key,
// an exponential variable of rate its size, and the smallest keys win (Efraimidis and Spirakis);
// ties go to the lower index so that the choice does not depend on the sort.
std::vector<std::size_t> WeightedChoice(Random& random, const std::vector<std::size_t>& candidates,
                                        const std::vector<double>& sizes, std::size_t count) {
  std::vector<std::pair<double, std::size_t>> keys;
  keys.reserve(candidates.size());
  for (const std::size_t candidate : candidates) {
    keys.emplace_back(-std::log(1.0 - random.Uniform()) / sizes[candidate], candidate);
  }
  count = std::min(count, keys.size());
  std::nth_element(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(count), keys.end());
  std::vector<std::size_t> chosen;
  chosen.reserve(count);
  for (std::size_t index = 0; index < count; ++index) {
    chosen.push_back(keys[index].second);
  }
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

std::vector<WorldSale> Sales(Random& random, char type, double value, std::size_t lots) {
  std::vector<WorldSale> sales;
  if (!random.Chance(0.7)) {
    return sales;
  }
  const std::size_t count = random.Between(1, std::min<std::size_t>(12, 1 + lots / 3));
  for (std::size_t index = 0; index < count; ++index) {
    sales.push_back({LotQuantity(random, type), RoundPrice(random.LogNormal(value, 0.35))});
  }
  return sales;
}

// Families. Each draws its wanted list first and its world after, from one generator, so
// that FamilyWantedList needs only the list's draws.

// Stores that ship only within their own region, so that a few stores of Europe are lost to a
// buyer in the USA, as on the marketplace; the others ship everywhere.
constexpr double kFamilyRegionalShare = 0.02;
// Shares of the stores in North America and Europe, set so that with the regional ones lost 988
// (uniform) and 905 (dense) of 1500 stores are left to the families' buyer at seed 7.
constexpr double kUniformNearShare = 0.655;
constexpr double kDenseNearShare = 0.595;
constexpr double kGridStep = 0.05;

bool InNorthAmericaOrEurope(const std::string& countryId) {
  for (const BrickLink::Country& country : BrickLink::GetCountries()) {
    if (countryId == country.id) {
      return country.region == BrickLink::Region::NorthAmerica ||
             country.region == BrickLink::Region::Europe;
    }
  }
  return false;
}

// Stores of the family worlds: nearShare of them in North America and Europe, the rest
// elsewhere, each side by the marketplace's weights; or all in one country. None lies outside
// the country table, which would only make the region filter warn.
std::vector<WorldStore> FamilyStores(Random& random, std::size_t count, double nearShare,
                                     const char* onlyCountry = nullptr) {
  std::vector<double> nearWeights;
  std::vector<double> farWeights;
  for (const CountryWeight& country : SellerCountries()) {
    const bool near = InNorthAmericaOrEurope(country.id);
    nearWeights.push_back(near ? country.weight : 0.0);
    farWeights.push_back(near ? 0.0 : country.weight);
  }
  std::vector<WorldStore> stores;
  std::set<std::string> names;
  std::uint32_t id = 1000;
  for (std::size_t index = 0; index < count; ++index) {
    WorldStore store;
    id += static_cast<std::uint32_t>(random.Between(1, 60));
    store.id = id;
    if (onlyCountry != nullptr) {
      store.countryId = onlyCountry;
    } else {
      const auto& weights = random.Chance(nearShare) ? nearWeights : farWeights;
      store.countryId = SellerCountries()[random.Weighted(weights)].id;
    }
    store.currencyId = CurrencyOfCountry(store.countryId);
    std::string name = StoreName(random);
    for (int suffix = 2; !names.insert(name).second; ++suffix) {
      name = suffix > 4 ? StoreName(random) + " " + std::to_string(suffix) : StoreName(random);
    }
    store.name = name;
    if (onlyCountry == nullptr && random.Chance(kFamilyRegionalShare)) {
      store.shipsTo.emplace();
      ShipToOwnRegion(store);
    }
    stores.push_back(std::move(store));
  }
  return stores;
}

double LogUniform(Random& random, double low, double high) {
  return std::exp(std::log(low) + random.Uniform() * (std::log(high) - std::log(low)));
}

// The `count` stores of `total` that offer an item, ascending: the first entries of a partial
// shuffle.
std::vector<std::size_t> ChooseStores(Random& random, std::size_t total, std::size_t count) {
  std::vector<std::size_t> order(total);
  for (std::size_t index = 0; index < total; ++index) {
    order[index] = index;
  }
  count = std::min(count, total);
  for (std::size_t index = 0; index < count; ++index) {
    std::swap(order[index], order[random.Between(index, total - 1)]);
  }
  order.resize(count);
  std::sort(order.begin(), order.end());
  return order;
}

// Line `index` of a family's list: parts 3001, 3008, ... in the eight most offered colours.
IncludedItem FamilyLine(std::size_t index, std::uint32_t quantity, char condition) {
  static const std::uint32_t colors[] = {11, 86, 85, 5, 1, 7, 3, 2};
  return {'P', std::to_string(3001 + index * 7), colors[index % 8], quantity, "", condition};
}

// Every third line wanted used, so that both conditions' lots count for it.
char FamilyCondition(std::size_t index) { return index % 3 == 0 ? 'U' : 'N'; }

// In the dense family, three lines in ten want more than any single lot holds.
bool IsLargeDenseLine(std::size_t index) { return index % 10 < 3; }
constexpr std::uint32_t kLargeDenseWant = 138;
bool IsLargeDenseQuantity(std::uint32_t wanted) { return wanted >= kLargeDenseWant; }

std::vector<IncludedItem> DrawWantedList(Random& random, WorldFamily family, std::size_t lines) {
  std::vector<IncludedItem> list;
  if (family == WorldFamily::OneItem) {
    list.push_back(FamilyLine(0, 900, 'N'));
    return list;
  }
  for (std::size_t index = 0; index < lines; ++index) {
    switch (family) {
      case WorldFamily::Lognormal:
        // The benchmarks' list of old: no draws, so that the world stays the one measured.
        list.push_back(
            FamilyLine(index, static_cast<std::uint32_t>(1 + index % 12), FamilyCondition(index)));
        break;
      case WorldFamily::Dense: {
        const std::uint64_t quantity =
            IsLargeDenseLine(index) ? random.Between(kLargeDenseWant, 369) : random.Between(1, 30);
        list.push_back(
            FamilyLine(index, static_cast<std::uint32_t>(quantity), FamilyCondition(index)));
        break;
      }
      case WorldFamily::Tied:
        // New only: every lot is new, so that a tier's price is the only price of an item.
        list.push_back(FamilyLine(index, static_cast<std::uint32_t>(random.Between(1, 12)), 'N'));
        break;
      default:
        list.push_back(FamilyLine(index, static_cast<std::uint32_t>(random.Between(1, 20)),
                                  FamilyCondition(index)));
        break;
    }
  }
  return list;
}

WorldPriceGuide FamilyGuide(const IncludedItem& line) {
  WorldPriceGuide guide;
  guide.type = line.type;
  guide.id = line.id;
  guide.color = line.color;
  return guide;
}

std::uint32_t UniformLotQuantity(Random& random) {
  const double draw = random.Uniform();
  const std::uint64_t quantity = draw < 0.3    ? random.Between(1, 10)
                                 : draw < 0.75 ? random.Between(11, 100)
                                               : random.Between(101, 999);
  return static_cast<std::uint32_t>(quantity);
}

// A large line's lots are each smaller than its want, so that only two to four stores'
// lots together fill it, yet big enough (30 to 250 pieces, many above 100) that four stores
// can fill every large line at once, as they do for a real dense list.
std::uint32_t DenseLotQuantity(Random& random, std::uint32_t wanted) {
  if (IsLargeDenseQuantity(wanted)) {
    return static_cast<std::uint32_t>(random.Between(30, std::min<std::uint32_t>(250, wanted - 1)));
  }
  const double draw = random.Uniform();
  const std::uint64_t quantity = draw < 0.7 ? random.Between(1, 40) : random.Between(41, 120);
  return static_cast<std::uint32_t>(quantity);
}

// One offer per (item, store) with one lot, or two in the dense family, 40 % of them used.
std::vector<WorldPriceGuide> OfferedGuides(Random& random, const std::vector<IncludedItem>& list,
                                           const std::vector<WorldStore>& stores, bool dense) {
  std::vector<WorldPriceGuide> guides;
  for (const IncludedItem& line : list) {
    WorldPriceGuide guide = FamilyGuide(line);
    const double value = LogUniform(random, 0.02, 8.0);
    // Dense items are offered by half to nine tenths of the stores: fewer, and no four stores
    // would both carry all sixty lines and hold enough of the large ones.
    const double share = dense ? 0.5 + random.Uniform() * 0.4 : 0.1 + random.Uniform() * 0.8;
    const auto offering = std::max<std::size_t>(
        1, static_cast<std::size_t>(std::llround(share * static_cast<double>(stores.size()))));
    for (const std::size_t index : ChooseStores(random, stores.size(), offering)) {
      const bool used = random.Chance(0.4);
      const int lots = dense && random.Chance(0.15) ? 2 : 1;
      for (int lot = 0; lot < lots; ++lot) {
        const std::uint32_t quantity =
            dense ? DenseLotQuantity(random, line.quantity) : UniformLotQuantity(random);
        (used ? guide.usedLots : guide.newLots)
            .push_back(
                {stores[index].id, quantity, RoundPrice(value * (0.6 + random.Uniform() * 1.2))});
      }
    }
    guides.push_back(std::move(guide));
  }
  return guides;
}

std::vector<WorldPriceGuide> OneItemGuides(Random& random, const std::vector<IncludedItem>& list,
                                           const std::vector<WorldStore>& stores) {
  WorldPriceGuide guide = FamilyGuide(list.front());
  for (const WorldStore& store : stores) {
    const auto quantity = static_cast<std::uint32_t>(random.Between(1, 899));
    const double cents = static_cast<double>(random.Between(10, 200));
    guide.newLots.push_back({store.id, quantity, cents / 100.0});
  }
  return {guide};
}

// Three tiers of stores; an item costs its grid price in the cheapest tier and one or two grid
// steps more in the others.
std::vector<WorldPriceGuide> TiedGuides(Random& random, const std::vector<IncludedItem>& list,
                                        const std::vector<WorldStore>& stores) {
  std::vector<std::uint64_t> tiers;
  for (std::size_t index = 0; index < stores.size(); ++index) {
    tiers.push_back(random.Between(0, 2));
  }
  std::vector<WorldPriceGuide> guides;
  for (const IncludedItem& line : list) {
    WorldPriceGuide guide = FamilyGuide(line);
    const std::uint64_t steps = random.Between(1, 20);
    for (std::size_t index = 0; index < stores.size(); ++index) {
      if (!random.Chance(0.5)) {
        continue;
      }
      const auto quantity = static_cast<std::uint32_t>(line.quantity * random.Between(1, 3));
      guide.newLots.push_back({stores[index].id, quantity,
                               RoundPrice(kGridStep * static_cast<double>(steps + tiers[index]))});
    }
    guides.push_back(std::move(guide));
  }
  return guides;
}

World GenerateFamilyWorld(const GeneratorOptions& options) {
  const WorldFamily family = *options.family;
  if (options.stores == 0 || options.wantedLots == 0) {
    throw std::invalid_argument("A family's world needs stores and a wanted list");
  }
  Random random(options.seed);
  std::vector<IncludedItem> list = DrawWantedList(random, family, options.wantedLots);
  if (family == WorldFamily::Lognormal) {
    GeneratorOptions sized = options;
    sized.family.reset();
    sized.storeSizes = true;
    sized.include = std::move(list);
    return GenerateWorld(sized);
  }
  std::vector<WorldStore> stores =
      family == WorldFamily::OneItem ? FamilyStores(random, options.stores, 1.0, "US")
      : family == WorldFamily::Dense ? FamilyStores(random, options.stores, kDenseNearShare)
                                     : FamilyStores(random, options.stores, kUniformNearShare);
  std::vector<WorldPriceGuide> guides;
  switch (family) {
    case WorldFamily::OneItem:
      guides = OneItemGuides(random, list, stores);
      break;
    case WorldFamily::Tied:
      guides = TiedGuides(random, list, stores);
      break;
    default:
      guides = OfferedGuides(random, list, stores, family == WorldFamily::Dense);
      break;
  }
  return World(BrickLink::kMarketplaceSiteName, DefaultRates(), {}, std::move(stores),
               std::move(guides));
}

}  // namespace

const std::vector<WorldFamily>& AllFamilies() {
  static const std::vector<WorldFamily> families = {WorldFamily::Uniform, WorldFamily::OneItem,
                                                    WorldFamily::Dense,   WorldFamily::Lognormal,
                                                    WorldFamily::Tied,    WorldFamily::Shipping};
  return families;
}

const char* FamilyName(WorldFamily family) {
  switch (family) {
    case WorldFamily::Uniform:
      return "uniform";
    case WorldFamily::OneItem:
      return "one-item";
    case WorldFamily::Dense:
      return "dense";
    case WorldFamily::Lognormal:
      return "lognormal";
    case WorldFamily::Tied:
      return "tied";
    case WorldFamily::Shipping:
      return "shipping";
  }
  return "";
}

std::optional<WorldFamily> FamilyByName(const std::string& name) {
  for (const WorldFamily family : AllFamilies()) {
    if (name == FamilyName(family)) {
      return family;
    }
  }
  return std::nullopt;
}

GeneratorOptions FamilyOptions(WorldFamily family) {
  GeneratorOptions options;
  options.family = family;
  options.seed = 7;
  options.stores = family == WorldFamily::OneItem ? 300 : 1500;
  options.wantedLots = family == WorldFamily::OneItem ? 1 : 60;
  options.items = family == WorldFamily::Lognormal ? 150 : options.wantedLots;
  options.storeSizes = family == WorldFamily::Lognormal;
  return options;
}

std::vector<IncludedItem> FamilyWantedList(const GeneratorOptions& options) {
  if (!options.family) {
    return {};
  }
  Random random(options.seed);
  return DrawWantedList(random, *options.family, options.wantedLots);
}

std::string WantedListXml(const std::vector<IncludedItem>& lines) {
  std::string xml = "<INVENTORY>\n";
  for (const IncludedItem& line : lines) {
    xml += "<ITEM><ITEMTYPE>" + std::string(1, line.type) + "</ITEMTYPE><ITEMID>" +
           EscapeHtml(line.id) + "</ITEMID>";
    if (line.type == 'P') {
      xml += "<COLOR>" + std::to_string(line.color) + "</COLOR>";
    }
    xml += "<MINQTY>" + std::to_string(line.quantity) + "</MINQTY><CONDITION>" +
           std::string(1, line.condition) + "</CONDITION></ITEM>\n";
  }
  return xml + "</INVENTORY>\n";
}

std::map<std::uint32_t, double> DefaultRates() {
  static const std::map<std::uint32_t, double> known = {
      {1, 1.0},    {2, 0.92},    {14, 1.38},   {26, 3.9},   {27, 0.66},  {32, 1.33},    {36, 6.4},
      {40, 7.0},   {43, 25.0},   {45, 6.9},    {65, 7.75},  {66, 290.0}, {69, 13800.0}, {72, 3.9},
      {74, 121.0}, {78, 1170.0}, {90, 4.2},    {95, 17.0},  {102, 1.5},  {106, 8.6},    {113, 47.0},
      {114, 3.95}, {116, 4.1},   {117, 66.0},  {123, 1.42}, {135, 8.5},  {136, 0.99},   {138, 32.5},
      {144, 2.95}, {146, 22.0},  {162, 111.0}, {164, 66.0}, {166, 3.2},  {167, 0.65},   {168, 14.5},
      {169, 36.0}, {170, 14.5},  {171, 8.0},   {172, 1.8},  {173, 9.5}};
  std::map<std::uint32_t, double> rates;
  for (const BrickLink::Currency& currency : BrickLink::GetCurrencies()) {
    const auto entry = known.find(currency.id);
    rates[currency.id] = entry == known.end() ? 1.0 : entry->second;
  }
  return rates;
}

World GenerateWorld(const GeneratorOptions& options) {
  if (options.family) {
    return GenerateFamilyWorld(options);
  }
  Random random(options.seed);
  if (options.stores == 0 && (options.items > 0 || !options.include.empty())) {
    throw std::invalid_argument("A world with items needs at least one store");
  }
  std::vector<WorldStore> stores = GenerateStores(random, options.stores);
  std::vector<double> sizes;
  if (options.storeSizes) {
    for (WorldStore& store : stores) {
      sizes.push_back(random.LogNormal(1.0, kSizeSigma));
      if (sizes.back() >= kWorldwideSize) {
        store.shipsTo.reset();
      }
    }
  }

  // Which items, in which order: the included ones first, then generated ones.
  struct Planned {
    char type;
    std::string id;
    std::uint32_t color;
    std::string name;
    std::uint32_t wanted;  // 0 for generated items
  };
  std::vector<Planned> planned;
  std::set<std::tuple<char, std::string, std::uint32_t>> keys;
  for (const IncludedItem& item : options.include) {
    const std::uint32_t color = item.type == 'P' ? item.color : 0;
    if (keys.emplace(item.type, item.id, color).second) {
      planned.push_back({item.type, item.id, color, item.name, std::max(1U, item.quantity)});
    } else {
      for (Planned& existing : planned) {
        if (existing.type == item.type && existing.id == item.id && existing.color == color) {
          existing.wanted = std::max(existing.wanted, item.quantity);
        }
      }
    }
  }
  std::vector<double> typeWeights;
  for (const TypeProfile& profile : TypeProfiles()) {
    typeWeights.push_back(profile.weight);
  }
  while (planned.size() < options.items) {
    const char type = TypeProfiles()[random.Weighted(typeWeights)].type;
    const std::string id = ItemId(random, type);
    const std::uint32_t color = type == 'P' ? PartColor(random) : 0;
    if (keys.emplace(type, id, color).second) {
      planned.push_back({type, id, color, "", 0});
    }
  }

  // Stores that may carry the included items, and the large ones that carry all of them.
  std::vector<std::size_t> listedStores;
  for (std::size_t index = 0; index < stores.size(); ++index) {
    const bool listed = std::any_of(
        BrickLink::GetCountries().begin(), BrickLink::GetCountries().end(),
        [&](const BrickLink::Country& country) { return stores[index].countryId == country.id; });
    if (listed) {
      listedStores.push_back(index);
    }
  }
  std::vector<std::size_t> anchors;
  if (!options.include.empty() && !options.storeSizes) {
    for (const char* country : {"US", "DE", "CA", "UK"}) {
      for (const std::size_t index : listedStores) {
        if (stores[index].countryId == country &&
            std::find(anchors.begin(), anchors.end(), index) == anchors.end()) {
          stores[index].shipsTo.reset();
          anchors.push_back(index);
          break;
        }
      }
    }
  }

  std::vector<std::size_t> allStores(stores.size());
  for (std::size_t index = 0; index < allStores.size(); ++index) {
    allStores[index] = index;
  }

  std::vector<WorldPriceGuide> guides;
  for (const Planned& item : planned) {
    const TypeProfile& profile = ProfileOf(item.type);
    const bool included = item.wanted != 0;
    const std::vector<std::size_t>& candidates = included ? listedStores : allStores;
    WorldPriceGuide guide;
    guide.type = item.type;
    guide.id = item.id;
    guide.color = item.color;
    guide.name = item.name;
    const double value = random.LogNormal(profile.medianPrice, 0.9);

    // Log-uniform between a handful and the type's share of the stores; with sizes, see the
    // shares above.
    double most = std::max(1.0, profile.popularity * static_cast<double>(candidates.size()));
    double least = std::min(most, included ? 10.0 : 3.0);
    if (included && options.storeSizes) {
      most = std::max(1.0, most * kIncludedShare);
      least = std::min(most, std::max(10.0, most / kIncludedRange));
    } else if (options.storeSizes) {
      most = std::max(least, most * kGeneratedShare);
    }
    const std::size_t offering = std::min<std::size_t>(
        candidates.size(),
        static_cast<std::size_t>(std::llround(
            std::exp(std::log(least) + random.Uniform() * (std::log(most) - std::log(least))))));
    std::vector<std::size_t> order;
    if (options.storeSizes) {
      order = WeightedChoice(random, candidates, sizes, offering);
    } else {
      // The first `offering` entries of a partial shuffle are the offering stores.
      order = candidates;
      for (std::size_t index = 0; index < offering; ++index) {
        std::swap(order[index], order[random.Between(index, order.size() - 1)]);
      }
      std::sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(offering));
    }
    for (std::size_t position = 0; position < offering; ++position) {
      const WorldStore& store = stores[order[position]];
      const double size = sizes.empty() ? 1.0 : sizes[order[position]];
      const double storeValue = sizes.empty() ? value : value * std::pow(size, -kDiscountExponent);
      bool offersNew = random.Chance(0.6);
      bool offersUsed = random.Chance(0.55) || !offersNew;
      // Large stores stock both conditions, and several lots of an item, more often.
      const double reach =
          size > 1.0 ? std::min(1.0, std::log(size) / std::log(kFullReachSize)) : 0.0;
      if (reach > 0.0 && !(offersNew && offersUsed) && random.Chance(reach)) {
        offersNew = true;
        offersUsed = true;
      }
      for (const bool used : {false, true}) {
        if (used ? !offersUsed : !offersNew) {
          continue;
        }
        const double draw = random.Uniform();
        int lots = draw < 0.85 ? 1 : draw < 0.97 ? 2 : 3;
        if (reach > 0.0 && random.Chance(reach * kExtraLotChance)) {
          ++lots;
        }
        for (int lot = 0; lot < lots; ++lot) {
          (used ? guide.usedLots : guide.newLots)
              .push_back({store.id, LotQuantity(random, item.type),
                          LotPrice(random, storeValue * (used ? 0.7 : 1.0))});
        }
      }
    }
    if (included) {
      for (std::size_t rank = 0; rank < anchors.size(); ++rank) {
        // The first two large stores carry everything, the others most things.
        if (rank >= 2 && random.Chance(0.3)) {
          continue;
        }
        const WorldStore& store = stores[anchors[rank]];
        for (const bool used : {false, true}) {
          const auto quantity = static_cast<std::uint32_t>(item.wanted * random.Between(2, 6) +
                                                           random.Between(0, 20));
          (used ? guide.usedLots : guide.newLots)
              .push_back({store.id, quantity,
                          RoundPrice(random.LogNormal(value * (used ? 0.8 : 1.1), 0.2))});
        }
      }
    }
    guide.soldNew = Sales(random, item.type, value, guide.newLots.size());
    guide.soldUsed = Sales(random, item.type, value * 0.7, guide.usedLots.size());
    guides.push_back(std::move(guide));
  }

  return World(BrickLink::kMarketplaceSiteName, DefaultRates(), {}, std::move(stores),
               std::move(guides));
}

}  // namespace Corvalle::Marketplace
