// The maps that the co-run model VEGO hands back to a run inside the QRM
// host: surface soil moisture, overland roughness and saturated conductivity.
#pragma once

struct run_state;

// Reads the VEGO maps whose cards are given, in the order soil moisture
// (into thi, m3/m3), roughness (dist_rough, s/m^(1/3)), conductivity
// (ksat: cm/h in the file, m/s in the run). Guards: a moisture above the
// porosity or too low is brought back within the soil's limits; a roughness
// not above 0 becomes 0.04; a negative conductivity is refused naming the
// file and cell. `tag` ("1" at start-up, "2" at the event transition) leads
// the open-failure messages. False after a reported failure (code 4000).
bool read_vego_exchange_files(run_state& rs, const char* tag);
