// Snow pack of one cell for one call of the snow routine: the hourly
// precipitation bookkeeping, the energy-budget melt, the temperature-index
// melt with its heat deficit and liquid-water accounting, and the lag of the
// water leaving the pack.
//
// Water: the pack's snow water equivalent (SWE) holds ice, held liquid water
// and water in the lag store. Rain on a cell reaches one store only (the
// rain application puts it on the surface or, when cold, into the SWE), so
// the pack never adds rain to its own outflow; melt water leaves the SWE and
// reaches the cell's surface. These kernels touch no run state.
#pragma once
#include <array>

// Melt method of the run.
enum class snow_method {
    energy_budget,   // neither temperature-index card
    temp_index,      // temperature index with heat deficit and liquid water
    hybrid,          // energy-budget melt with the heat deficit and liquid water
};

// Parameters of one cell.
struct snow_params {
    double mf_max = 1.2;    // melt factor on June 21, mm/(degree C 6 h)
    double mf_min = 0.0;    // melt factor on December 21, mm/(degree C 6 h)
    double fr_use = 0.0;    // share of the rain heat reaching the pack, -
    double scf = 1.0;       // snow correction factor (divides the rain rate), -
    double tipm = 0.2;      // antecedent temperature index weight per 6 h, -
    double nmf = 0.2;       // negative melt factor, mm/(degree C 6 h)
    double fua = 0.18;      // wind function (kept; the rain-on-snow wind term is 0), mm/(mb 6 h)
    double plwhc = 0.2;     // liquid water the ice can hold, fraction of the ice
};

// State of one cell's pack.
struct snow_cell {
    double swe = 0.0;           // snow water equivalent, m
    double ati = 0.0;           // antecedent temperature index, degrees C (<= 0)
    double deficit = 0.0;       // heat deficit, mm (>= 0)
    double liquid = 0.0;        // liquid water held, mm
    double ice = 0.0;           // frozen water, mm (0: not set yet)
    double lag = 0.0;           // excess liquid water in transit, mm
    double density = 0.0;       // snow density, g/cm3 (0.15 .. 0.4)
    double new_density = 0.0;   // density of new snow, g/cm3 (0 .. 0.6)
    double pack_temp = 0.0;     // snow temperature, degrees C (<= 0)
    double prev_temp = 0.0;     // air temperature of the previous call, degrees C
    std::array<double, 6> hours{};  // precipitation of the last six whole hours, [0] latest, mm
    double part_p = 0.0;        // precipitation gathered in the partial hour, mm
    double part_t = 0.0;        // time gathered in the partial hour, h
    std::array<double, 7> qlr{};    // lag record, slots 1..6, mm
};

// Forcing of one call.
struct snow_forcing {
    double air_temp = 0.0;      // degrees C
    double wind = 0.0;          // m/s
    double rel_humidity = 0.0;  // %
    double pressure = 0.0;      // mb
    double rain_rate = 0.0;     // effective rain rate on the cell, mm/h
    double seconds = 0.0;       // elapsed time of the call, s
    bool event_rain = false;    // an event's rain is under way
    bool from_hmet = false;     // called from the hourly hydromet step
    int month = 1, day = 1;     // calendar date of the call
    double temp_base = 0.0;     // base temperature of snow temperature change, degrees C
    double latent_heat = 80.0;  // latent heat of fusion, cal/g
    double longwave_offset = 27.0;  // back radiation term of the energy budget
};

// Warnings met in a call (bits), printed once per call by the caller.
enum snow_warning : unsigned {
    kSnowLongHour = 1u,        // the partial hour grew past one hour
    kSnowRetention = 2u,       // the lag attenuation needed a limit
    kSnowNegativeDeficit = 4u, // a heat deficit fell below 0
    kSnowBothMelts = 8u,       // melt from both the dry and the rain-on-snow equations
};

// Day number of the seasonal melt factor for a calendar date; -1 for a month
// outside 1..12. March 20 gives 364, March 21 gives 21.
int melt_day_number(int month, int day);

// Melt factor of an interval of dt_hours on that day number, mm/degree C:
// mf_min on December 21, mf_max on June 21.
double seasonal_melt_factor(double mf_max, double mf_min, int day_number, double dt_hours);

// One call of the snow routine for one cell. Returns the melt leaving the
// pack onto the surface (m), already taken off cell.swe; `warnings`
// collects snow_warning bits. A call whose date has no melt-factor day
// number must not reach here (the caller refuses it).
double snow_cell_step(snow_cell& cell, const snow_params& p, const snow_forcing& f,
                      snow_method method, bool retention, unsigned& warnings);
