// Mapping-table file: sections that bind parameter values to the cells
// through index maps.
#pragma once

constexpr int kMappingSectionFlags = 32;   // flags 1..31 of check_mapping_tables

// Start-up check of a mapping table: flags[1..31] = 1 for each process
// section the file holds (with a readable index map), printed as a list.
void check_mapping_tables(const char* path, int* flags);
