// Stream mapping tables: link/node parameter tables bound to stream maps.
#pragma once

constexpr int kStreamTableFlags = 6;   // flags 0..5 of check_stream_tables

// Start-up check of a stream mapping table: flags[0..5] = 1 for each table
// (roughness, nitrogen, phosphorus, other, carbon, dispersion) the file holds.
void check_stream_tables(const char* path, int* flags);
