// Inputs and summary parsing shared by the end-to-end constituent tests.
#pragma once
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fixture.h"
#include "pluvo_test.h"
#include "v_catchment.h"

namespace conc_e2e {

// Mapping table table.cmt with one contaminant "Tracer" (output name `name`)
// over con.idx (every cell class 1) in `dir`: rain concentration `precip`
// g/m3 and the eight table columns `columns` (dispersion m2/s, decay 1/day,
// uptake m/day, land load kg per cell, initial concentration g/m3,
// surface-soil concentration g/m3, Kd l/kg, groundwater concentration g/m3).
inline void write_contaminant_table(const std::string& dir, const pluvo_test::grid_spec& g,
                                    const std::string& precip, const std::string& columns,
                                    const std::string& name) {
    pluvo_test::write_grid(dir + "/con.idx", g, [](int, int) { return 1.0; }, 0);
    std::string row = "1     row";
    row.resize(86, ' ');
    pluvo_test::write_file(dir + "/table.cmt",
                           "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP con.idx \"Con\"\n"
                           "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Tracer\" \"Con\" \"" + name +
                               "\"\nPRECIP_CONC " + precip + "\nNUM_IDS 1\nID    DESCRIPTION\n" +
                               row + columns + "\n");
}

// The V-catchment in `dir` under `rain_minutes` of its rain at `precip`
// g/m3 (the tracer of write_contaminant_table with `columns`), `total_minutes`
// simulated at `timestep` s, the cells and the channel carrying the tracer.
inline pluvo_test::project_file tracer_v_catchment(const std::string& dir, int rain_minutes,
                                                   int total_minutes, double timestep,
                                                   const std::string& precip,
                                                   const std::string& columns) {
    pluvo_test::v_catchment_case v;
    v.rain_minutes = rain_minutes;
    v.total_minutes = total_minutes;
    v.timestep = timestep;
    pluvo_test::project_file p = pluvo_test::write_v_catchment(dir, v);
    pluvo_test::grid_spec g;
    g.rows = v.rows;
    g.cols = pluvo_test::v_catchment_cols(v);
    g.cell = v.cell;
    g.north = v.rows * v.cell;
    write_contaminant_table(dir, g, precip, columns, "tracer");
    p.card("MAPPING_TABLE", "table.cmt").card("OV_CON_TRANS").card("CHAN_CON_TRANS");
    return p;
}

// Value after `label` in the constituent balance of a summary that starts
// at `block` (NaN when missing).
inline double balance_value(const std::string& text, const std::string& label, size_t block) {
    const size_t at = text.find("  " + label, block);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + at + 2 + label.size(), nullptr);
}

}  // namespace conc_e2e
