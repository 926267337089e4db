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

#include "World.h"

namespace Corvalle::Marketplace {

// An item that the world must offer, such as a line of a wanted list.
struct IncludedItem {
  char type = 'P';
  std::string id;
  std::uint32_t color = 0;  // ignored for types other than P
  std::uint32_t quantity = 1;
  std::string name;
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
};

// Throws std::invalid_argument when stores is 0 while items are asked for.
World GenerateWorld(const GeneratorOptions& options);

// Units of each currency of the currency table per US dollar, rounded values of about 2015.
std::map<std::uint32_t, double> DefaultRates();

}  // namespace Corvalle::Marketplace
