// Display names of nutrient species and soil pools: the names the summaries
// print, and indices outside each list leaving the caller's text alone.
#include <gtest/gtest.h>

#include <string>

#include "quality/nutrient_names.h"

namespace {

TEST(NutrientNames, SpeciesAndPoolNamesByIndex) {
    struct name_case {
        int index, pools;
        const char* name;   // nullptr: not a name, the buffer keeps its text
    };
    const name_case cases[] = {
        {0, 0, "Nitrite (NO2-)"},
        {2, 0, "Ammonium (NH4+)"},
        {8, 0, "Dissolved Oxygen (O2)"},
        {11, 0, "Dispersion coefficient"},
        {12, 0, nullptr},
        {-1, 0, nullptr},
        {0, 1, "Organic Active Carbon"},
        {3, 1, "Nitrate (NO3-)"},
        {10, 1, "Organic Active Phosphorus"},
        {12, 1, "Organic Stable Phosphorus"},
        {13, 1, nullptr},
    };
    for (const name_case& c : cases) {
        char buffer[64] = "unchanged";
        const bool named = get_constituent_display_name(buffer, sizeof buffer, c.index, c.pools);
        EXPECT_EQ(named, c.name != nullptr) << c.index << " " << c.pools;
        EXPECT_EQ(std::string(buffer), c.name ? c.name : "unchanged") << c.index << " " << c.pools;
    }
    // A short buffer holds the cut name, NUL-terminated.
    char small[8];
    ASSERT_TRUE(get_constituent_display_name(small, sizeof small, 6, 0));
    EXPECT_EQ(std::string(small), "Algae");
    ASSERT_TRUE(get_constituent_display_name(small, sizeof small, 7, 0));
    EXPECT_EQ(std::string(small), "Carbona");
}

}  // namespace
