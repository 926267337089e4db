#pragma once

namespace Corvalle::Marketplace {

// The text of Data/colors-2015.tsv, built into the program so that the server needs no data
// files at run time.
extern const char* const kBundledColorGuideText;

}  // namespace Corvalle::Marketplace
