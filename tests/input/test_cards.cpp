// The card vocabulary: the table itself, the keyword lookup, and a sweep that
// reads one generated line per keyword and checks which record fields it
// changed, that it changed no field of another card, and that synonyms act
// alike. Independent hand-written cases pin the fields by name.
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "card_test_support.h"
#include "core/text.h"

namespace {

using card_test::card_set;
using card_test::ProjectTest;
using card_test::read_result;

// All keywords of an entry.
std::vector<const char*> names_of(const card_entry& e) {
    std::vector<const char*> names{e.keyword};
    for (const char* s : e.synonyms) {
        if (s != nullptr) names.push_back(s);
    }
    return names;
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

std::string mixed(std::string s) {
    for (size_t i = 0; i < s.size(); i += 2) {
        if (s[i] >= 'a' && s[i] <= 'z') s[i] = static_cast<char>(s[i] - 'a' + 'A');
    }
    return s;
}

TEST(CardTable, EveryCodeOnceAndEveryKeywordOnce) {
    int count = 0;
    const card_entry* table = card_table(&count);
    std::set<std::string> keywords;
    int keyword_count = 0;
    std::vector<int> per_code(kLastCardCode + 1, 0);
    for (int i = 0; i < count; ++i) {
        ASSERT_GE(table[i].code, 0);
        ASSERT_LE(table[i].code, kLastCardCode);
        ++per_code[static_cast<size_t>(table[i].code)];
        for (const char* name : names_of(table[i])) {
            ++keyword_count;
            EXPECT_TRUE(keywords.insert(name).second) << "keyword written twice: " << name;
            for (const char* c = name; *c; ++c) EXPECT_FALSE(*c >= 'A' && *c <= 'Z') << name;
        }
    }
    EXPECT_EQ(keyword_count, 430);
    for (int code = 0; code <= kLastCardCode; ++code) {
        const int expected = (code == 57 || code == 348) ? 0 : 1;
        EXPECT_EQ(per_code[static_cast<size_t>(code)], expected) << "code " << code;
    }
    const card_entry* ignored = find_card(kIgnoreCardCode);
    ASSERT_NE(ignored, nullptr);
    EXPECT_EQ(ignored->form, card_form::ignore);
}

// Every keyword in upper, lower and mixed case gives its code and leaves the
// arguments on the line.
TEST(CardLookup, EveryKeywordInAnyCaseGivesItsCodeAndLeavesTheArguments) {
    int count = 0;
    const card_entry* table = card_table(&count);
    for (int i = 0; i < count; ++i) {
        for (const char* name : names_of(table[i])) {
            for (const std::string& written : {std::string(name), upper(name), mixed(name)}) {
                std::string text = "  " + written + " \t, \"a b\" 2.5";
                std::vector<char> line(text.begin(), text.end());
                line.push_back('\0');
                testing::internal::CaptureStdout();
                const int code = project_card_code(line.data());
                const std::string printed = testing::internal::GetCapturedStdout();
                EXPECT_EQ(code, table[i].code) << written;
                EXPECT_STREQ(line.data(), "\"a b\" 2.5") << written;
                EXPECT_EQ(printed, "") << written;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Sweep over the table: one generated line per keyword.

// Every distinct record field that some card writes.
std::vector<card_field> all_fields() {
    std::vector<card_field> fields;
    auto add = [&](const card_field& f) {
        if (!f.present()) return;
        for (const card_field& g : fields) {
            if (g.record == f.record && g.offset == f.offset) return;
        }
        fields.push_back(f);
    };
    int count = 0;
    const card_entry* table = card_table(&count);
    for (int i = 0; i < count; ++i) {
        add(table[i].field);
        add(table[i].flag);
        add(table[i].extra);
        add(table[i].number_field);
    }
    return fields;
}

bool same_value(card_set& a, card_set& b, const card_field& f) {
    const void* pa = card_field_address(f, a.cards, a.settings, a.rain);
    const void* pb = card_field_address(f, b.cards, b.settings, b.rain);
    switch (f.kind) {
        case field_kind::int_value:
            return *static_cast<const int*>(pa) == *static_cast<const int*>(pb);
        case field_kind::double_value:
            return *static_cast<const double*>(pa) == *static_cast<const double*>(pb);
        case field_kind::name:
            return std::strcmp(static_cast<const char*>(pa), static_cast<const char*>(pb)) == 0;
        case field_kind::int_array:
            return std::memcmp(pa, pb, sizeof(int) * static_cast<size_t>(f.count)) == 0;
        case field_kind::none:
            break;
    }
    return true;
}

bool same_nutrients(card_set& a, card_set& b) {
    if ((a.cards.nsm == nullptr) != (b.cards.nsm == nullptr)) return false;
    if (a.cards.nutrient_partition != b.cards.nutrient_partition) return false;
    if (a.cards.nsm == nullptr) return true;
    const nsm_model& x = *a.cards.nsm;
    const nsm_model& y = *b.cards.nsm;
    return std::strcmp(x.aq_env, y.aq_env) == 0 &&
           std::memcmp(x.ov_init_mode, y.ov_init_mode, sizeof x.ov_init_mode) == 0 &&
           std::memcmp(x.ov_init_value, y.ov_init_value, sizeof x.ov_init_value) == 0 &&
           std::memcmp(x.ov_init_file, y.ov_init_file, sizeof x.ov_init_file) == 0 &&
           std::memcmp(x.st_init_mode, y.st_init_mode, sizeof x.st_init_mode) == 0 &&
           std::memcmp(x.st_init_value, y.st_init_value, sizeof x.st_init_value) == 0 &&
           std::memcmp(x.st_init_file, y.st_init_file, sizeof x.st_init_file) == 0 &&
           std::memcmp(x.out_ov_given, y.out_ov_given, sizeof x.out_ov_given) == 0 &&
           std::memcmp(x.out_ov_file, y.out_ov_file, sizeof x.out_ov_file) == 0 &&
           std::memcmp(x.out_st_given, y.out_st_given, sizeof x.out_st_given) == 0 &&
           std::memcmp(x.out_st_file, y.out_st_file, sizeof x.out_st_file) == 0 &&
           std::memcmp(x.out_hyd_given, y.out_hyd_given, sizeof x.out_hyd_given) == 0 &&
           std::memcmp(x.out_hyd_file, y.out_hyd_file, sizeof x.out_hyd_file) == 0;
}

bool same_field(const card_field& a, const card_field& b) {
    return a.present() && b.present() && a.record == b.record && a.offset == b.offset;
}

bool own_field(const card_entry& e, const card_field& f) {
    return same_field(e.field, f) || same_field(e.flag, f) || same_field(e.extra, f) ||
           same_field(e.number_field, f);
}

// Argument text of a generated line; empty optional when the sweep skips the card
// (cards whose action reads other files are covered by their own tests).
bool sweep_argument(const card_entry& e, std::string& arg) {
    switch (e.form) {
        case card_form::ignore:
        case card_form::echo:
            return false;
        case card_form::set:
            arg = "";
            return true;
        case card_form::number:
            arg = e.field.kind == field_kind::int_value ? "7" : "2.5";
            // soil_erosion takes a formula number: 1 to 6 (or 11 to 16).
            if (std::string(e.keyword) == "soil_erosion") arg = "3";
            // A porosity lies below 1.
            if (std::string(e.keyword) == "sed_porosity") arg = "0.25";
            return true;
        case card_form::host_event:
            arg = "7";
            return true;
        case card_form::ints:
            // A date, a time of day, or both: the reader refuses other values.
            arg = e.field.count == 2 ? "4 5" : "2001 2 3 4 5";
            return true;
        case card_form::choice:
            arg = e.rule == choice_rule::int_or_word ? "ADE-PC" : e.choices[1].word;
            return true;
        case card_form::partition:
            arg = "3.5";
            return true;
        case card_form::nutrient:
            arg = (e.group == nutrient_group::ov_init || e.group == nutrient_group::st_init)
                      ? "4.5"
                      : "nutrient_file.out";
            return true;
        case card_form::action:
            switch (e.action) {
                case card_action::super_quiet:
                case card_action::nutrients:
                    arg = "";
                    return true;
                default:
                    return false;
            }
        default:
            arg = std::string("f_") + e.keyword + ".dat";
            return true;
    }
}

class CardSweep : public ProjectTest {};

TEST_F(CardSweep, EachKeywordChangesOnlyItsOwnFieldsAndSynonymsActAlike) {
    const std::vector<card_field> fields = all_fields();
    int count = 0;
    const card_entry* table = card_table(&count);
    int swept = 0;
    for (int i = 0; i < count; ++i) {
        const card_entry& e = table[i];
        std::string arg;
        if (!sweep_argument(e, arg)) continue;
        const std::string before = e.form == card_form::nutrient ? "nutrients\n" : "";
        read_result base = read_cards(before);
        read_result primary;
        for (const char* name : names_of(e)) {
            read_result r = read_cards(before + name + " " + arg + "\n");
            ASSERT_EQ(r.err, "") << name;
            ASSERT_EQ(error_record.code, 0) << name;
            card_test::reset_program_state();
            if (!(e.form == card_form::number && e.text != nullptr)) {
                EXPECT_EQ(r.out, "") << name;
            }
            if (name != e.keyword) {
                // A synonym leaves exactly the records of its first keyword.
                for (const card_field& f : fields) {
                    EXPECT_TRUE(same_value(*primary.records, *r.records, f))
                        << name << " differs from " << e.keyword << " at offset " << f.offset;
                }
                EXPECT_TRUE(same_nutrients(*primary.records, *r.records)) << name;
                continue;
            }
            int changed = 0;
            for (const card_field& f : fields) {
                if (same_value(*base.records, *r.records, f)) continue;
                ++changed;
                EXPECT_TRUE(own_field(e, f))
                    << e.keyword << " changed a field of another card at offset " << f.offset;
            }
            if (e.form == card_form::nutrient || e.form == card_form::partition ||
                e.action == card_action::nutrients) {
                EXPECT_FALSE(same_nutrients(*base.records, *r.records)) << e.keyword;
            } else if (!(e.form == card_form::set &&
                         *static_cast<int*>(card_field_address(e.field, base.records->cards,
                                                               base.records->settings,
                                                               base.records->rain)) == e.value)) {
                EXPECT_GT(changed, 0) << e.keyword << " changed nothing";
            }
            primary = std::move(r);
            ++swept;
        }
    }
    EXPECT_GT(swept, 380);
}

// ---------------------------------------------------------------------------
// Hand-written cases: the record field each line must fill, by name.

struct named_case {
    const char* line;
    std::function<bool(const card_set&)> check;
};

class CardFields : public ProjectTest {};

TEST_F(CardFields, LinesFillTheFieldsThatBearTheirKeyword) {
    const std::vector<named_case> cases = {
        {"watershed_mask basin.msk",
         [](const card_set& s) { return std::string(s.cards.watershed_mask) == "basin.msk"; }},
        {"timestep 30", [](const card_set& s) { return s.settings.timestep == 30.0; }},
        {"rows 12", [](const card_set& s) { return s.settings.rows == 12; }},
        {"gmt -5", [](const card_set& s) { return s.settings.gmt == -5.0 && s.settings.gmt_given; }},
        {"quiet", [](const card_set& s) { return s.settings.quiet == 1; }},
        {"qout_cfs", [](const card_set& s) { return s.settings.qout_cfs == 1; }},
        {"rain_intensity 12.5", [](const card_set& s) { return s.rain.rain_intensity == 12.5; }},
        {"rain_duration 90", [](const card_set& s) { return s.rain.rain_duration == 90; }},
        {"precip_file storm.gag",
         [](const card_set& s) {
             return s.rain.rain_mode == 1 && std::string(s.rain.precip_file) == "storm.gag";
         }},
        {"rain_thiessen", [](const card_set& s) { return s.rain.interpolation == 1; }},
        {"start_date 2005 6 15",
         [](const card_set& s) {
             return s.settings.start_date[0] == 2005 && s.settings.start_date[1] == 6 &&
                    s.settings.start_date[2] == 15;
         }},
        {"start_time 14 30",
         [](const card_set& s) {
             return s.settings.start_time[0] == 14 && s.settings.start_time[1] == 30;
         }},
        {"end_time 2006 1 2 3 4",
         [](const card_set& s) {
             const int* t = s.settings.end_time;
             return t[0] == 2006 && t[1] == 1 && t[2] == 2 && t[3] == 3 && t[4] == 4;
         }},
        {"roughness n.map",
         [](const card_set& s) {
             return std::string(s.cards.roughness) == "n.map" && s.cards.roughness_given == 1;
         }},
        {"manning_n 0.035",
         [](const card_set& s) { return s.cards.manning_n == 0.035 && s.cards.manning_n_given; }},
        {"diffusive_wave",
         [](const card_set& s) {
             return s.settings.channel_method == 3 && s.cards.non_ortho_channels == 1;
         }},
        {"chan_explic",
         [](const card_set& s) {
             return s.settings.channel_method == 3 && s.cards.non_ortho_channels == 1;
         }},
        {"chan_preiss\nchan_mesh", [](const card_set& s) { return s.settings.channel_method == 4; }},
        {"inf_richards", [](const card_set& s) { return s.settings.infiltration_method == 4; }},
        {"embankment dikes.map",
         [](const card_set& s) {
             return std::string(s.cards.dike_map) == "dikes.map" && s.cards.dike_map_given == 1;
         }},
        {"soil_contam", [](const card_set& s) { return s.cards.soil_con_trans == 1; }},
        {"gw_flux_boundtable flux.tbl",
         [](const card_set& s) {
             return std::string(s.cards.gw_fluxboundtable) == "flux.tbl" &&
                    s.settings.gw_fluxboundtable_given == 1;
         }},
        {"read_ov_hotstart start.dep",
         [](const card_set& s) {
             return std::string(s.cards.ov_init_depth) == "start.dep" &&
                    s.cards.ov_init_depth_given == 1;
         }},
        {"sacramento_pars sac.par",
         [](const card_set& s) {
             return std::string(s.cards.sacramento) == "sac.par" && s.cards.sacramento_given == 1;
         }},
        {"interception",
         [](const card_set& s) {
             return s.cards.storage_capacity_given == 1 && s.cards.interception_coeff_given == 1 &&
                    s.cards.storage_capacity[0] == '\0' && s.cards.interception_coeff[0] == '\0';
         }},
        {"hmet_kev met.kev",
         [](const card_set& s) {
             return std::string(s.cards.hmet_file) == "met.kev" && s.cards.hmet_kev_given == 1 &&
                    s.cards.hmet_samson_given == 0;
         }},
        {"hmet_orog_gages orog.txt",
         [](const card_set& s) {
             return std::string(s.cards.hmet_orog_gages) == "orog.txt" &&
                    s.cards.hmet_orog_gages_given == 1 && s.cards.orogvar_hmet == 1;
         }},
        {"write_chan_hotstart hot",
         [](const card_set& s) {
             return std::string(s.cards.explic_backwater) == "hot" &&
                    s.cards.write_chan_hotstart_given == 1 && s.cards.explic_backwater_given == 0;
         }},
        {"read_chan_hotstart old",
         [](const card_set& s) {
             return std::string(s.cards.explic_hotstart) == "old" &&
                    s.cards.read_chan_hotstart_given == 1 && s.cards.explic_hotstart_given == 0;
         }},
        {"xybdyoutput_mask inset.msk",
         [](const card_set& s) {
             return std::string(s.cards.xybdyoutput_pts) == "inset.msk" &&
                    s.cards.xybdyoutput_pts_given == 1 && s.cards.xybdyoutput_kind == 1;
         }},
        {"xybdyoutput_mask a\nxybdyoutput_pts b",
         [](const card_set& s) {
             return std::string(s.cards.xybdyoutput_pts) == "b" && s.cards.xybdyoutput_kind == 0;
         }},
        {"k4_input flows.k4",
         [](const card_set& s) {
             return std::string(s.cards.k4.k4_input) == "flows.k4" && s.cards.k4.k4_input_given;
         }},
        {"k4_fluxes", [](const card_set& s) { return s.cards.k4.k4_fluxes == 1; }},
        {"soil_erosion 3",
         [](const card_set& s) { return s.cards.soil_erosion == 3 && s.cards.soil_erosion_given; }},
        {"retention 4.5",
         [](const card_set& s) { return s.cards.retention == 4.5 && s.cards.retention_given == 1; }},
        {"soils_nsm_c", [](const card_set& s) { return s.cards.soils_nsm_c == 2; }},
        {"init_swe_depth 0.25",
         [](const card_set& s) {
             return s.cards.init_swe_depth_value == 0.25 && s.cards.init_swe_depth_mode == 3;
         }},
        {"init_swe_depth swe.map",
         [](const card_set& s) {
             return std::string(s.cards.init_swe_depth) == "swe.map" &&
                    s.cards.init_swe_depth_mode == 1;
         }},
        {"richards_k_option arithmetic_mean",
         [](const card_set& s) { return s.cards.richards_k_option == 1; }},
        {"richards_c_option Brooks", [](const card_set& s) { return s.cards.richards_c_option == 1; }},
        {"richards_upper_option green_ampt",
         [](const card_set& s) { return s.cards.richards_upper_option == 2; }},
        {"richards_upper_option average",
         [](const card_set& s) { return s.cards.richards_upper_option == 3; }},
        {"richards_upper_option top",
         [](const card_set& s) { return s.cards.richards_upper_option == 0; }},
        {"calib_comp_data DAILYX", [](const card_set& s) { return s.cards.calib_comp_data == 0; }},
        {"calib_comp_data EVENT", [](const card_set& s) { return s.cards.calib_comp_data == 1; }},
        {"calib_obj_func HMLE", [](const card_set& s) { return s.cards.calib_obj_func == 1; }},
        {"overtype ADE-PC", [](const card_set& s) { return s.cards.overtype == 3; }},
        {"overtype explicit", [](const card_set& s) { return s.cards.overtype == 1; }},
        {"overtype 1", [](const card_set& s) { return s.cards.overtype == 1; }},
        {"no2_km 0.5\ndp_koc 3.5",
         [](const card_set& s) {
             const std::vector<double>& p = s.cards.nutrient_partition;
             return p.size() == 12 && p[0] == 0.5 && p[11] == 3.5 && p[5] == 0.0;
         }},
        {"watershed_mask first.msk\nwatershed_mask second.msk",
         [](const card_set& s) { return std::string(s.cards.watershed_mask) == "second.msk"; }},
        {"long_term\nlong_term extra words", [](const card_set& s) { return s.cards.long_term == 1; }},
    };
    for (const named_case& c : cases) {
        read_result r = read_cards(std::string(c.line) + "\n");
        EXPECT_TRUE(c.check(*r.records)) << c.line;
        EXPECT_EQ(error_record.code, 0) << c.line;
        card_test::reset_program_state();
    }
}

}  // namespace
