// Overland point sources: water added to the surface depth of cells from
// their point-source rates (m3/s) just before the infiltration step.
#pragma once

struct run_state;

// Reads the file of the card ov_point_source into ov_point_source_rate
// (m3/s per cell, GNUM+1 used from 1): the number of sources, then one line
// per source with grid row, column and rate in m3/s. A missing file, a cell
// outside the watershed or a value that is not a finite number stops the run
// with a message naming the file and line (code kErrorPrinted).
void read_overland_point_sources(run_state& rs);

// Time-loop step, with the card ov_point_source (with or without overland
// constituents). Its clock, ov_point_source_last / ov_point_source_next
// (Julian days), starts from the constituent infiltration clock at the first
// call (from the current time when that clock is not set) and advances by
// the rainfall interval at every act. Adds rate x elapsed
// seconds to each cell (a sink takes at most the cell's water), pulls the next
// rain and infiltration updates forward so the water is taken up at once, and
// gives the redistribution scheme its start values once per run.
void apply_overland_point_sources(run_state& rs);

// The redistribution start values (once per run, or per event in long-term
// runs): clears the scheme's counters and infiltrated depths and sets thi and
// the scheme's water contents. Prints a warning per cell whose content lies
// outside residual content and porosity, and corrects it.
void start_redistribution_values(run_state& rs);
