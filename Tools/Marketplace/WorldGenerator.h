#pragma once

// Writes realistic worlds from a seed and sizes. The shape follows what is known of the
// marketplace of about 2015: sellers mostly in the USA and Germany, then the rest of Europe and
// Canada, a few in countries that the program's country table does not list; parts offered by a
// handful to thousands of stores (log-uniform); most lots of 1 to 5 pieces with a long tail of
// large lots; prices spread log-normally around an item's value with rare outliers; some stores
// with several lots of one item; about a quarter of the stores shipping only to their own
// country or region; sales statistics for most items. By default the stores offering an item
// are drawn uniformly, so stores come out of similar sizes; storeSizes gives them the
// marketplace's very unequal sizes.
//
// The same options give the same world, byte for byte: the generator uses its own number
// generator and distributions rather than the standard library's, whose distributions differ
// between implementations. (The C library's exp, log and cos could still differ in the last bit
// on another platform and move a price by 0.0001.)

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Tools/Marketplace/World.h"

namespace Corvalle::Marketplace {

// An item that the world must offer, such as a line of a wanted list.
struct IncludedItem {
  char type = 'P';
  std::string id;
  std::uint32_t color = 0;  // ignored for types other than P
  std::uint32_t quantity = 1;
  std::string name;
  // As a wanted list states it: 'N' new, 'U' used (the search then takes either). Worlds do not
  // depend on it.
  char condition = 'N';
};

// The buyer of every family: in the USA, accepting stores of North America and Europe. Each
// family spreads its stores so that this buyer keeps a known share of them.
enum class WorldFamily {
  // Each item offered by a share of the stores drawn between 10 and 90 %, one lot per store at
  // 0.6 to 1.8 times the item's price (log-uniform from $0.02 to $8); lots of 1 to 10, 11 to
  // 100 and 101 to 999 pieces (30, 45 and 25 %); about two thirds of the stores in North America
  // and Europe (988 of 1500 left to the buyer at the usual sizes).
  Uniform,
  // One item, 900 wanted, stores all in the USA holding one lot each of 1 to 899 pieces at
  // $0.10 to $2.00 in whole cents: a plan is a set of lots that adds up to 900.
  OneItem,
  // Every item offered by half to nine tenths of the stores; three lines in ten want 138 to 369
  // pieces, and each of their lots holds 30 to 250 but less than its line wants, so that two to
  // four stores fill a large line together and four can fill the list; three fifths of the
  // stores in North America and Europe (905 of 1500 left at the usual sizes).
  Dense,
  // The store-sizes world (see storeSizes) with the benchmarks' list of 60 common parts; with
  // the usual sizes, the world that the benchmarks have always measured.
  Lognormal,
  // Prices on a grid of five cents: each item has one price per tier of stores, and every
  // store that carries an item (half of them do) holds the wanted quantity or more. Plans that
  // take the same tier for each item cost the same to the cent, so many plans tie. Stores differ
  // in what they carry: identical ones would tie too, but the store pruner keeps one of them.
  Tied,
  // The uniform family's world, meant to be searched with shipping charged per store.
  Shipping,
};

struct GeneratorOptions {
  std::uint64_t seed = 7;
  std::size_t stores = 2000;
  std::size_t items = 150;  // price guides in all, included items counted
  // Offered in both conditions by many stores, and by a few large stores in the USA, Germany,
  // Canada and the United Kingdom that ship everywhere with quantities well above the wanted
  // ones, so that any wanted list made of them can be bought from three stores in North America
  // and Europe (with storeSizes, see there). Stores in countries outside the country table never
  // offer them. The same (type, id, colour) given twice is one price guide.
  std::vector<IncludedItem> include;
  // Stores of very different sizes, as on the marketplace: each store draws a log-normal size
  // (one store in a hundred is a hundred times the median), and the stores offering an item are
  // drawn with probabilities proportional to their sizes, so that a few large stores carry most
  // items, in both conditions and in several lots more often, while the median store carries a
  // few. Large stores ship everywhere and sell a little cheaper. Included items are offered by a
  // few hundred stores of 1500, and no store is made to carry them all: a wanted list of common
  // parts takes a few of the large stores of North America and Europe: two or three for a list
  // of 25 to 60 lots on 1500 stores, three or four on 300. Off, the world is the one that the
  // same options have always given: the generator draws nothing for sizes.
  bool storeSizes = false;
  // With a family, the world is that family's, made around FamilyWantedList's items: seed and
  // stores act as above, include is ignored, and items counts all price guides for the
  // lognormal family only (the others offer the list's items alone). FamilyOptions gives each
  // family's usual sizes.
  std::optional<WorldFamily> family;
  // Lines of a family's wanted list; the one-item family's has one whatever this says.
  std::size_t wantedLots = 60;
};

// Throws std::invalid_argument when stores is 0 while items are asked for (with a family: when
// stores or wantedLots is 0).
World GenerateWorld(const GeneratorOptions& options);

// Every family, in the order of the enumeration.
const std::vector<WorldFamily>& AllFamilies();
// The family's name on the command line: "uniform", "one-item", "dense", "lognormal", "tied",
// "shipping".
const char* FamilyName(WorldFamily family);
// Empty for a name that no family has.
std::optional<WorldFamily> FamilyByName(const std::string& name);
// Seed 7 and the family's usual sizes: 1500 stores (one-item: 300) and a 60-line list
// (lognormal: among 150 price guides).
GeneratorOptions FamilyOptions(WorldFamily family);
// The wanted list that GenerateWorld makes the options' family around; empty without a family.
std::vector<IncludedItem> FamilyWantedList(const GeneratorOptions& options);
// The lines as a wanted-list file in the marketplace's XML format.
std::string WantedListXml(const std::vector<IncludedItem>& lines);

// Units of each currency of the currency table per US dollar, rounded values of about 2015.
std::map<std::uint32_t, double> DefaultRates();

}  // namespace Corvalle::Marketplace
