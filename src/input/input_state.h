// Project input members of the run state: the card records, the run's
// file objects, the grid and the cell numbering.
#pragma once
#include <vector>
#include "core/file_object.h"
#include "input/cards.h"

struct input_state {
    file_object summary_file;       // the run's summary file

    // Grid (metres)
    int rows = 0;                   // grid rows
    int cols = 0;                   // grid columns
    double cell_size = 0.0;         // cell size, m
    int GNUM = 0;                   // number of active cells, numbered 1..GNUM row by row
    int** mask = nullptr;           // cell number of every grid position [0..rows+1][0..cols+1]
    int** mask_data = nullptr;      // integer work grid of the same shape
    std::vector<double> elevation;  // ground elevation per cell, m (GNUM+1, used from 1)

    // Card records of the project file and the run's file names
    project_cards cards;            // every card that is neither run control nor precipitation
    run_settings settings;          // run-control cards
    rain_settings rain_cards;       // precipitation cards
    run_files files;                // working file names filled from the cards

    // Mapping tables
    int mapping_table_given = 0;    // mapping_table card given
    int st_mapping_table_given = 0; // st_mapping_table card given
    int mapping_sections[32] = {};  // 1 when the mapping table holds section 1..31 (kMap* below)
    int stream_sections[6] = {};    // 1 when the stream mapping table holds table 0..5

    // Sections of the mapping table as recorded by check_mapping_tables.
    static constexpr int kMapRoughness = 1, kMapInterception = 2, kMapRetention = 3,
                         kMapGreenAmpt = 4, kMapSoilMoisture = 5, kMapMultiLayer = 6,
                         kMapRichardsHavercamp = 7, kMapRichardsBrooks = 8,
                         kMapEvapotranspiration = 9, kMapSediments = 10, kMapErosion = 11,
                         kMapContaminants = 12, kMapWetlands = 13, kMapOverlandBoundary = 14,
                         kMapWells = 15, kMapGroundwater = 16, kMapGroundwaterBoundary = 17,
                         kMapAreaReduction = 18;

    input_state() = default;
    input_state(const input_state&) = delete;
    input_state& operator=(const input_state&) = delete;
    ~input_state();
};
