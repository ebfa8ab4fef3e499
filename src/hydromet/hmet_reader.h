// Reader of the hydrometeorological ("hmet") file of long-term runs: hourly
// radiation, cloud cover, air temperature, relative humidity, pressure and
// wind in one of four formats (KEV table, gridded maps, SAMSON, Surface
// Airways), converted into hmet_current, and the orographic spread of the
// air temperature over the cells by elevation.
#pragma once

struct run_state;

// Counting call (rs.hmet_read_count 0): parses and checks every record of
// the hmet file in the format its card names, remembers them, leaves the
// first and last record dates in hmet_start_* and hmet_end_*, the count in
// hmet_record_count, sets hmet_read_count to 1 and returns 0; -1 after a
// printed error (code 4000 set).
// Data call (hmet_read_count 1 or more): the next record into hmet_current
// (and the per-cell arrays of the gridded and orographic forms); returns the
// record number from 1, -1 once every record has been served, -2 after a
// printed error (code 4000 set).
int read_hmet_record(run_state& rs);

// Start-up refusals of the hmet cards of a long-term run, before any file
// opens: exactly one format card, hmet_ascii_pet without a format card of its
// own; sets the gage elevation (m) and the lapse rate (degrees C per 1000 m,
// -5 unless the hmet_lapse_rate card gives one) of the orographic spread.
void check_hmet_cards(run_state& rs);

// Start-up check of a long-term run after the clock is set: the simulation
// start must not lie after the last hmet record.
void check_hmet_start(run_state& rs);

// True in a long-term run whose hmet steps go on: records were found and the
// end of the data has not stopped the steps. Such a run goes on after its
// last event until the data end.
bool hmet_data_remain(const run_state& rs);

// Julian time (days) of a record date, hour 0-23.
double hmet_record_time(int year, int month, int day, int hour);
