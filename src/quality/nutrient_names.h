// Display names of the nutrient species, their three further parameters and
// the thirteen soil nutrient pools, as the summaries and outputs print them.
#pragma once
#include <cstddef>

constexpr int kNsmDisplayNames = 12;   // nine species, then DOC, DOC fraction, dispersion
constexpr int kNsmSoilPools = 13;      // carbon 0-1, nitrogen 2-6, phosphorus 7-12

// Writes into `buffer` (room `size` bytes) the name of species or parameter
// `index` (soil_pools 0, indices 0..11) or of soil pool `index` (soil_pools
// 1, indices 0..12); returns false and leaves the buffer as it was for any
// other index.
bool get_constituent_display_name(char* buffer, std::size_t size, int index, int soil_pools);
