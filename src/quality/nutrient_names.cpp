#include "quality/nutrient_names.h"
#include <cstdio>

namespace {

const char* const kSpeciesNames[kNsmDisplayNames] = {
    "Nitrite (NO2-)",
    "Nitrate (NO3-)",
    "Ammonium (NH4+)",
    "Organic Nitrogen (Organic N)",
    "Organic Phosphorous (Organic P)",
    "Dissolved Phosphorous (Dissolved P)",
    "Algae",
    "Carbonaceous Biochemical Oxygen Demand",
    "Dissolved Oxygen (O2)",
    "Dissolved Org. Carbon",
    "Dissolved Org. Carbon, Fraction Org. C.",
    "Dispersion coefficient",
};

const char* const kPoolNames[kNsmSoilPools] = {
    "Organic Active Carbon",      "Organic Stable Carbon",      "Ammonium (NH4+)",
    "Nitrate (NO3-)",             "Organic Active Nitrogen",    "Organic Fresh Nitrogen",
    "Organic Stable Nitrogen",    "Mineral Active Phosphorus",  "Mineral Solution Phosphorus",
    "Mineral Stable Phosphorus",  "Organic Active Phosphorus",  "Organic Fresh Phosphorus",
    "Organic Stable Phosphorus",
};

}  // namespace

bool get_constituent_display_name(char* buffer, std::size_t size, int index, int soil_pools) {
    const int count = soil_pools ? kNsmSoilPools : kNsmDisplayNames;
    if (buffer == nullptr || size == 0 || index < 0 || index >= count) return false;
    std::snprintf(buffer, size, "%s", soil_pools ? kPoolNames[index] : kSpeciesNames[index]);
    return true;
}
