#pragma once

// The small table builders of the search tests live with the oracle, which builds its random
// tables with them.

#include "Tests/Support/SearchOracle.h"
