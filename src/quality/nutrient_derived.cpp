#include "quality/nutrient_derived.h"
#include <cmath>

double ammonium_ka(double temp_c) {
    return std::pow(10.0, -(0.09018 + 2729.92 / (temp_c + 273.15)));
}

double hydrogen_ion(double ph) { return std::pow(10.0, -ph); }

double unionised_ammonia(double nh4_mass, double volume, double ka, double h_ion, double min_molar) {
    if (volume < kNh3MinVolume) return 0.0;
    const double c = nh4_mass / kAmmoniumMolarMass / volume;   // mol/m3
    if (c < min_molar) return 0.0;
    return c * ka / h_ion * kAmmoniaMolarMass * volume;
}

void overland_unionised_ammonia(const std::vector<double>& nh4_mass, const std::vector<double>& depth,
                                double cell_area, int cells, double ka, double h_ion,
                                std::vector<double>& nh3) {
    for (int j = 1; j <= cells; ++j) {
        const size_t c = static_cast<size_t>(j);
        nh3[c] = unionised_ammonia(nh4_mass[c], depth[c] * cell_area, ka, h_ion, kNh3MinMolarLand);
    }
}

void stream_unionised_ammonia(const std::vector<double>& nh4_mass, const node_array& area,
                              const std::vector<double>& dx, const std::vector<int>& nx, int links,
                              int maxnodes, double ka, double h_ion, node_array& nh3) {
    const size_t stride = static_cast<size_t>(maxnodes) + 1;
    for (int l = 1; l <= links; ++l) {
        const size_t li = static_cast<size_t>(l);
        for (int k = 1; k <= nx[li]; ++k) {
            const size_t ki = static_cast<size_t>(k);
            nh3(ki, li) = unionised_ammonia(nh4_mass[stride * li + ki], area(ki, li) * dx[li], ka,
                                            h_ion, kNh3MinMolarStream);
        }
    }
}

void lake_unionised_ammonia(const std::vector<double>& nh4_mass, const std::vector<double>& volume,
                            int lakes, double ka, double h_ion, std::vector<double>& nh3) {
    for (int i = 1; i <= lakes; ++i) {
        const size_t c = static_cast<size_t>(i);
        nh3[c] = unionised_ammonia(nh4_mass[c], volume[c], ka, h_ion, kNh3MinMolarLand);
    }
}
