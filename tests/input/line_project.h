// A small watershed project whose start-up runs most text readers: the
// project file (with a comment line of 100,000 characters), real and integer
// maps, a mapping table, a gage precipitation file, a channel file and a
// grid-stream file. The line-end and bad-line tests write it, change one file
// and run the program on it.
#pragma once
#include <cstdio>
#include <map>
#include <string>

#include "pluvo_test.h"

namespace line_project {

using file_set = std::map<std::string, std::string>;   // file name -> text (LF line ends)

// The comment line: words separated by blanks, 100,000 characters in all, so
// that a reader that split it would see many unknown cards.
inline std::string long_comment() {
    std::string line = "#";
    while (line.size() + 5 <= 100000) line += " word";
    line.resize(100000, 'x');
    return line;
}

// One ID row of a mapping table: the ID in characters 1..6, a description up
// to character 86, the values from character 87 on.
inline std::string id_row(int id, const std::string& values) {
    char head[8];
    std::snprintf(head, sizeof head, "%-6d", id);
    std::string line = std::string(head) + "land class";
    line.resize(86, ' ');
    return line + values + "\n";
}

// A row of four 30 m cells draining east over one trapezoid link of five
// nodes, two land classes of different roughness, and one rain gage.
inline file_set watershed_files() {
    const std::string header = "north: 30\nsouth: 0\neast: 120\nwest: 0\nrows: 1\ncols: 4\n";
    file_set f;
    f["mask.asc"] = header + "1 1 1 1\n";
    f["elev.asc"] = header + "100.9 100.6 100.3 100.0\n";
    f["land.idx"] = header + "1 1 2 2\n";
    f["table.cmt"] = "PLUVO_INDEX_MAP_TABLES\n"
                     "INDEX_MAP land.idx \"Land use\"\n"
                     "\n"
                     "ROUGHNESS \"Land use\"\n"
                     "NUM_IDS 2\n"
                     "ID    DESCRIPTION                      ROUGHNESS\n" +
                     id_row(1, "0.0500") + id_row(2, "0.0800");
    f["rain.gag"] = "EVENT \"line storm\"\nNRGAG 1\nNRPDS 4\nCOORD 60 15\n"
                    "GAGES 2020 6 1 0 0 30\nGAGES 2020 6 1 0 15 60\nGAGES 2020 6 1 0 30 20\n"
                    "GAGES 2020 6 1 0 45 0\n";
    f["chan.chn"] = "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES 4\n"
                    "CONNECT 1 0 0\n"
                    "LINK 1\nDX 30.0\nNODES 5\nTRAPEZOID\nMANNINGS_N 0.035\n"
                    "NODE 1\nELEV 100.0\nXSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\n"
                    "NODE 2\nELEV 99.7\nNODE 3\nELEV 99.4\nNODE 4\nELEV 99.1\nNODE 5\nELEV 98.8\n";
    f["chan.gst"] = "GRIDSTREAMFILE\nSTREAMCELLS 4\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\n"
                    "NUMNODES 1\nCELLIJ 1 1\nLINKNODE 1 1 1.0\nCELLIJ 1 2\nLINKNODE 1 2 1.0\n"
                    "CELLIJ 1 3\nLINKNODE 1 3 1.0\nCELLIJ 1 4\nLINKNODE 1 4 1.0\n";
    f["p.prj"] = "PLUVOPROJECT\n" + long_comment() +
                 "\n"
                 "WATERSHED_MASK mask.asc\nELEVATION elev.asc\n"
                 "GRIDSIZE 30\nROWS 1\nCOLS 4\nTOT_TIME 90\nTIMESTEP 10\n"
                 "OUTROW 1\nOUTCOL 4\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 600\n"
                 "SUMMARY summ.sum\nOUTLET_HYDRO outlet.otl\n"
                 "PRECIP_FILE rain.gag\nRAIN_INV_DISTANCE\n"
                 "MAPPING_TABLE table.cmt\nOVERTYPE 1\n"
                 "CHAN_EXPLIC\nCHANNEL_INPUT chan.chn\nSTREAM_CELL chan.gst\n"
                 "CHAN_DISCHARGE flow.lnd\n";
    return f;
}

// `text` with every LF line end made CR LF; the first `keep` lines keep LF.
inline std::string with_crlf(const std::string& text, int keep = 0) {
    std::string out;
    int line = 0;
    for (char c : text) {
        if (c == '\n' && ++line > keep) out += '\r';
        out += c;
    }
    return out;
}

inline void write_all(const pluvo_test::temp_dir& dir, const file_set& files) {
    for (const auto& [name, text] : files) pluvo_test::write_file(dir.file(name), text);
}

// True when every file of the set still holds its text.
inline bool unchanged(const pluvo_test::temp_dir& dir, const file_set& files) {
    for (const auto& [name, text] : files) {
        if (pluvo_test::read_file(dir.file(name)) != text) return false;
    }
    return true;
}

}  // namespace line_project
