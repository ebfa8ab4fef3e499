// Evapotranspiration of long-term runs: at every hydrometeorological record a
// potential and an actual rate per cell, from the sun's position, the cell's
// slope and vegetation and a surface energy balance solved for the ground
// temperature (Penman-Monteith or the Deardorff bare-soil balance); the
// continuous frozen ground index; the vegetation maps read at start-up.
//
// The numerical kernels below take plain values so that they can be checked
// against hand computations; evapo_trans applies them to every cell.
#pragma once

struct run_state;

namespace et {

constexpr double kPi = 3.141592653589793;
constexpr double kSolarConstant = 1353.0;   // W/m2
constexpr double kCp = 1.013;               // specific heat of air, kJ/(kg K)
constexpr double kLambda = 2500.36;         // latent heat of vaporisation, kJ/kg
constexpr double kSigma = 5.67e-8;          // Stefan-Boltzmann constant, W/(m2 K4)
constexpr double kVapourGas = 461.0;        // gas constant of water vapour, J/(kg K)
constexpr double kBulkTransfer = 0.0025;    // bulk transfer coefficient Ch, -
constexpr double kWaterDensity = 1000.0;    // kg/m3
constexpr double kKelvin = 273.15;          // K at 0 degrees C
constexpr double kCalmWind = 1e-4;          // m/s: wind at or below this drops the aerodynamic term

// Day of the year 1..366 (February of 29 days when year % 4 == 0).
int day_of_year(int year, int month, int day);

// Solar declination on a day of the year, rad.
double solar_declination(int day_of_year);

// Position of the sun at a whole clock hour (0..23; hour 12 is noon).
struct sun_position {
    double sin_altitude = 0.0;   // sine of the solar altitude, -
    double altitude_deg = 0.0;   // solar altitude, degrees (<= 0: night)
    double azimuth = 0.0;        // azimuth from the hour angle, rad
    double air_mass = 0.0;       // relative optical air mass, - (0 at night)
    double extinction = 0.0;     // extinction coefficient b, - (0 at night)
    double eccentricity = 1.0;   // earth-orbit eccentricity factor E0, -
    bool up = false;             // the sun is above the horizon
};
sun_position sun_at(double latitude_rad, int day_of_year, int hour);

// Saturation vapour pressure over water at t (degrees C), kPa.
double saturation_vapour_pressure(double t_celsius);

// Net shortwave radiation absorbed by a cell, W/m2 (0 when the sun is down):
// global radiation on the sloping surface plus the direct beam through the
// canopy. slope_x, slope_y: ground slopes towards the right and the lower
// neighbour, m/m; global_rad W/m2; tcoeff -, albedo -, cloud fraction 0..1.
double net_shortwave(const sun_position& sun, double slope_x, double slope_y, double global_rad,
                     double tcoeff, double albedo, double cloud);

// Weather seen by one cell.
struct cell_weather {
    double air_temp = 0.0;       // air temperature, degrees C
    double pressure = 101.3;     // barometric pressure, kPa
    double rel_humidity = 0.0;   // relative humidity, fraction 0..1
    double cloud = 0.0;          // cloud cover, fraction 0..1
    double wind = kCalmWind;     // wind speed raised to kCalmWind, m/s
};

// Surface energy balance at the ground temperature it closes.
struct ground_balance {
    double ground_temp = 0.0;   // ground temperature Ts, K (finite)
    double evaporation = 0.0;   // bare-soil evaporation E, m/s
    double sensible = 0.0;      // sensible heat flux H into the air, kW/m2 (ground heat flux H/3)
    double net_rad_term = 0.0;  // B = -(net radiation) / 1000, kW/m2
    double residual = 0.0;      // -lambda E - H - B at Ts, kW/m2
    int passes = 0;             // iterations made
    bool converged = false;     // the last change was at most 0.001 K within 1000 passes
};

// Solves the energy balance H + lambda E + H/3 + B = 0 for the ground
// temperature, starting at start_k (K), by Newton steps kept inside a bracket
// of the root (the balance grows with Ts), so Ts stays finite for any finite
// weather. shortwave: net shortwave, W/m2.
ground_balance solve_ground_temperature(const cell_weather& w, double shortwave, double start_k);

// Penman-Monteith rates, m/s. available: net radiation less ground heat flux,
// kW/m2; air_temp, ground_temp degrees C; rel_humidity fraction; pressure kPa;
// wind m/s as measured (at or below kCalmWind the aerodynamic term is dropped
// and both rates are the radiation term); veg_height m (raised to 0.001);
// canopy_rs: canopy resistance times its hourly and seasonal factors, s/m.
struct pm_rates {
    double pet = 0.0;          // potential rate, m/s
    double aet = 0.0;          // actual rate, m/s
    double aero_resist = 0.0;  // aerodynamic resistance ra, s/m (0 when calm)
    bool ra_bad = false;       // ra was not a positive number: the calm formula was used
};
pm_rates penman_monteith(double available, double air_temp, double ground_temp, double rel_humidity,
                         double pressure, double wind, double veg_height, double canopy_rs);

// Factor of the canopy resistance by hour of day (hour 24 is hour 0), -.
double hourly_canopy_factor(int hour);
// Seasonal factor of the canopy resistance by month 1..12 and latitude (degrees), -.
double seasonal_canopy_factor(int month, double latitude_deg);

// The frozen ground index after one hourly record: temp degrees C, swe m;
// under_snow_blocks: the cell is held frozen (86) while snow lies on it.
double next_frozen_ground_index(double cfgi, double temp, double swe, bool under_snow_blocks);

}  // namespace et

// Rates of every cell for the current record (pet_rate, aet_rate in cm/s,
// ground_temp, energy_residual). Returns the air temperature of the record,
// degrees C: with gridded hydrometeorology the mean of the valid per-cell
// temperatures, else hmet_current.air_temp.
double evapo_trans(run_state& rs);

// Frozen ground index of every cell outside lakes, after each record.
void update_frozen_ground_index(run_state& rs);

// Start-up: the vegetation maps of long-term runs (albedo; with Penman-Monteith
// also vegetation height, transmission coefficient, canopy resistance and the
// wilting point) from their map cards or the mapping table.
void read_et_maps(run_state& rs);
