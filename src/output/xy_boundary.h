// XY boundary inputs of an inset model (values of an outer model at XY
// points) and the XY boundary outputs; both records are held in the card
// record of the project file and are filled while the project file is read.
#pragma once

// Boundary inputs read by the xybdyinput_* cards (points and their series).
struct xy_input {
    int overland_points = 0;      // points of the overland depth boundary
    int groundwater_points = 0;   // points of the groundwater head boundary
    int stream_points = 0;        // points of the stream flow boundary
};

// Boundary outputs named by the xybdyoutput_* cards.
struct xy_output {
    int point_count = 0;          // output points
};

// Point layouts of a boundary file.
constexpr int kXyByCoordinates = 0;   // each point given by x and y, m
constexpr int kXyByIdentifier = 1;    // each point given by an integer identifier

// Reads an XY boundary input file of the given kind ("overland" or
// "groundwater") whose first line must begin with `header` ("XY_OV_DEPTH",
// "XY_GW_HEAD" or "XY_GW_HEAD_INTERP"). Reports its own messages; sets no code.
void read_xy_boundary(xy_input& in, const char* file_name, const char* kind,
                      const char* header, int layout);
// Reads the stream XY boundary input file.
void read_stream_xy_boundary(xy_input& in, const char* file_name);
// Reads the stream XY time-series boundary file.
void read_stream_xy_series(xy_input& in, const char* file_name);
