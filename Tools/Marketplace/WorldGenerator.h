#pragma once

// Writes realistic worlds from a seed and sizes. The shape follows what is known of the
// marketplace of about 2015: sellers mostly in the USA and Germany, then the rest of Europe and
// Canada, a few in countries that the program's country table does not list; parts offered by a
// handful to thousands of stores (log-uniform); most lots of 1 to 5 pieces with a long tail of
// large lots; prices spread log-normally around an item's value with rare outliers; some stores
// with several lots of one item; about a quarter of the stores shipping only to their own
// country or region; sales statistics for most items.
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
  // and Europe. Stores in countries outside the country table never offer them. The same
  // (type, id, colour) given twice is one price guide.
  std::vector<IncludedItem> include;
};

// Throws std::invalid_argument when stores is 0 while items are asked for.
World GenerateWorld(const GeneratorOptions& options);

// Units of each currency of the currency table per US dollar, rounded values of about 2015.
std::map<std::uint32_t, double> DefaultRates();

}  // namespace Corvalle::Marketplace
