// The one-run driver: the start-up sequence with a check after every call,
// the fixed-order time loop, the normal and the error end, and the clean-up.
#include "run/run_model.h"
#include <chrono>
#include <cstdio>
#include "calibration/calibration.h"
#include "channel/channel.h"
#include "channel/xy_stream_points.h"
#include "run/clock.h"
#include "core/error.h"
#include "run/event_control.h"
#include "run/feature_check.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "run/option_check.h"
#include "core/run_options.h"
#include "run/run_state.h"
#include "hydromet/hydromet.h"
#include "hydromet/hmet_reader.h"
#include "hydromet/interception.h"
#include "hydromet/precip.h"
#include "hydromet/snow.h"
#include "input/cell_arrays.h"
#include "input/grid.h"
#include "input/initial_state.h"
#include "input/output_names.h"
#include "input/project_reader.h"
#include "input/replace.h"
#include "input/run_files.h"
#include "input/time_series.h"
#include "output/analyzer.h"
#include "output/output.h"
#include "overland/connectivity.h"
#include "overland/olake.h"
#include "overland/overland.h"
#include "overland/pumps.h"
#include "overland/surface_maps.h"
#include "quality/constituent_steps.h"
#include "quality/contaminant.h"
#include "quality/nutrients.h"
#include "quality/sediment.h"
#include "stormdrain/superlink.h"
#include "subsurface/groundwater.h"
#include "subsurface/infiltration.h"
#include "subsurface/sacramento.h"
#include "subsurface/soils.h"

namespace {

bool g_last_run_failed = false;
run_end_observer g_run_end_observer = nullptr;
run_step_observer g_run_step_observer = nullptr;

using step_fn = void (*)(run_state&);

// Reports a pending code; true when the run must stop. Series look-ups made
// inside parallel loops record their failures, reported here on the main thread.
bool check_stop() {
    if (series_lookup_failures()) report_series_lookup_failures();
    if (error_record.code > 0) report_error(error_record);
    return error_record.stop != 0;
}

// Calls each start-up step in order with the check after it; false on a stop.
bool run_checked(run_state& rs, std::initializer_list<step_fn> steps) {
    for (step_fn f : steps) {
        f(rs);
        if (check_stop()) return false;
    }
    return true;
}

// The steps of one pass of the time loop, in their fixed order.
constexpr step_fn kTimeLoopSteps[] = {
    advance_clock,
    read_precip_event,
    start_event,
    distribute_rainfall,
    apply_rainfall,
    apply_overland_point_sources,
    compute_infiltration,
    update_hydromet,
    compute_soil_et,
    compute_sacramento,
    step_soil_constituents,
    route_overland,
    run_superlink_coupling,
    step_sediment_bound_sources,
    step_overland_constituent_sources,
    step_overland_constituent_transport,
    update_groundwater,
    update_overland_lakes,
    route_channels,
    exchange_lateral_constituents,
    read_chan_point_inputs,
    track_peak_flow,
    step_channel_sediment_constituents,
    add_channel_lateral_constituents,
    route_channel_constituents,
    print_progress,
    check_run_end,
    next_event,
    finish_event,
    write_step_output,
    write_map_output,
};

double seconds_since(std::chrono::steady_clock::time_point start) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return static_cast<double>(ms.count()) / 1000.0;
}

// Start-up steps up to the check of the file names: the project read, the
// options checked and every output name checked against the inputs; false
// when the run must go to the clean-up. Nothing is opened for writing yet.
bool read_and_check_project(run_state& rs, bool calibration) {
    read_run_parameters(rs);
    if (check_stop()) return false;
    if (calibration) rs.calibration_run = 1;
    return run_checked(rs, {check_project_options, check_features_built, check_hmet_cards,
                            check_output_names});
}

// Start-up steps 6 to 23; false when the run must go to the clean-up.
bool start_up(run_state& rs, calib_output* calib) {
    if (!read_and_check_project(rs, calib != nullptr)) return false;
    if (!run_checked(rs, {open_run_files})) return false;

    file_printf(rs.summary_file, "\n\n");
    file_printf(rs.summary_file, "_________PLUVO start-up information________\n");
    file_printf(rs.summary_file, "Run parameters read from ZOV project file: %s\n",
                rs.project_file);
    if (replace_active) print_replace_values(rs.summary_file);

    // The channel file tells whether the network has lakes: checked again once read.
    if (!run_checked(rs, {check_time_settings, read_model_inputs, check_features_built,
                          open_map_datasets}))
        return false;
    if (rs.cards.all_contam_output) {
        if (rs.overland_constituents) setup_contam_map_outputs(rs);
        if (rs.cards.chan_con_trans) setup_contam_linknode_outputs(rs);
        if (check_stop()) return false;
    }
    if (!run_checked(rs, {build_cell_connectivity, compute_cell_slopes, init_precip_input,
                          set_initial_state, init_channel_state}))
        return false;
    if (!run_checked(rs, {alloc_calib_output})) return false;
    if (!run_checked(rs, {read_vego_exchange_maps})) return false;
    shift_relative_time_series(rs.time);
    if (!run_checked(rs, {setup_xy_outputs})) return false;
    compute_initial_surface_volume(rs);
    init_constituent_state(rs);
    // The link/node headers carry the start that the start clock has set.
    return run_checked(rs, {set_start_clock, check_hmet_start, write_linknode_headers});
}

// One pass of the time loop; false when a check found the stop flag raised.
bool time_loop_pass(run_state& rs) {
    for (step_fn f : kTimeLoopSteps) {
        f(rs);
        if (check_stop()) return false;
    }
    run_analyzers(rs, kAnalyzerStep);
    if (g_run_step_observer != nullptr) g_run_step_observer(rs);
    return true;
}

}  // namespace

void set_run_end_observer(run_end_observer observer) { g_run_end_observer = observer; }

void set_run_step_observer(run_step_observer observer) { g_run_step_observer = observer; }

bool last_run_failed() {
    return g_last_run_failed;
}

void close_run_files(run_state& rs) {
    close_run_file_objects(rs);   // every file open_run_files opened, the summary file last
    current_summary_file = nullptr;
}

void read_model_inputs(run_state& rs) {
    // The mask step allocates the mask grids with their zero border and numbers the cells.
    read_watershed_mask(rs);
    if (error_record.stop == 1) return;
    read_elevation_map(rs);
    const step_fn readers[] = {
        alloc_cell_arrays,       read_dike_map,        read_wetland_map,
        read_overland_boundary_types, read_overland_pumps, read_soil_maps, read_gw_maps,
        load_sacramento_params,  read_snow_bands,      init_snow_array,
        read_interception_maps,  read_overland_lakes,  read_retention_map,
        read_roughness_map,      copy_snow_roughness,  init_overland_sediment,
        read_contaminant_inputs, setup_nutrient_overland, read_soil_moisture_output_cells, read_cell_output_locations,
        read_overland_point_sources,
        read_initial_surface_state, read_soil_moisture_hotstart,
        setup_channel_network,   locate_stream_xy_points, compute_sacramento_weights,
        setup_superlink,
    };
    for (step_fn f : readers) {
        f(rs);
        if (error_record.stop == 1) return;
    }
    connect_superlink_outlets(rs);
    setup_k4_coupling(rs);
}

bool check_trial_files(const char* project_path) {
    input_guard_scope guard;
    run_state* rs = create_run_state();
    if (rs == nullptr) return false;
    error_record.code = 0;
    error_record.stop = 0;
    rs->calibration_run = 1;
    std::snprintf(rs->project_file, sizeof(rs->project_file), "%s", project_path);
    const bool ok = read_and_check_project(*rs, true);
    current_summary_file = nullptr;
    destroy_run_state(rs);
    error_record.code = 0;
    error_record.stop = 0;
    return ok;
}

int run_model(const char* project_path, calib_output* calib) {
    auto started = std::chrono::steady_clock::now();
    input_guard_scope guard;   // the run's inputs are held until its end
    run_state* rs = create_run_state();
    if (rs == nullptr) {
        g_last_run_failed = true;
        return 0;
    }
    error_record.code = 0;
    error_record.stop = 0;
    g_last_run_failed = false;
    if (calib != nullptr) {
        rs->calibration_run = 1;
        rs->calib_output = calib;
    }
    std::snprintf(rs->project_file, sizeof(rs->project_file), "%s", project_path);

    bool ok = start_up(*rs, calib);
    if (ok && rs->cards.analyzers_given) {
        read_analyzer_file(*rs, rs->cards.analyzers);
        ok = !check_stop();
    }
    if (ok) {
        run_analyzers(*rs, kAnalyzerSimBegin);
        if (replace_active) print_replace_usage(rs->summary_file);
        if (!rs->quiet) std::printf("total time to init(s): %8.1lf\n", seconds_since(started));
        if (error_record.code != 0) {
            run_analyzers(*rs, kAnalyzerCrash);
            ok = false;
        }
    }
    // A run refused at its start-up leaves "out_time.out" as it was.
    const bool started_loop = ok;
    if (ok) {
        if (!rs->quiet) std::printf("Running....\n");
        file_printf(rs->summary_file, "Running.... \n\n");
        for (;;) {
            if (!time_loop_pass(*rs)) {
                run_analyzers(*rs, kAnalyzerCrash);
                ok = false;
                break;
            }
            if (error_record.code != 0) {
                run_analyzers(*rs, kAnalyzerCrash);
                ok = false;
                break;
            }
            if (!rs->running) {
                write_run_summary(*rs);
                if (check_stop()) {
                    run_analyzers(*rs, kAnalyzerCrash);
                    ok = false;
                    break;
                }
                run_analyzers(*rs, kAnalyzerSimEnd);
                if (g_run_end_observer != nullptr) g_run_end_observer(*rs);
                break;
            }
        }
    }
    g_last_run_failed = !ok;

    close_run_files(*rs);
    std::fflush(stdout);
    std::fflush(stderr);
    destroy_run_state(rs);

    double run_time = seconds_since(started);
    file_object times;
    if (started_loop && open_file_named(times, "out_time.out", "a")) {
        std::fprintf(times.handle, "total time (s): %8.2lf\n", run_time);
        close_file_object(times);
    }
    if (run_options.thread_count < 2)
        std::printf("Run time: %6.2lf(s) \n", run_time);
    else
        std::printf("%d: Run time: %6.2lf(s) \n", run_options.process_index, run_time);
    std::fflush(stdout);
    return error_record.code;
}
