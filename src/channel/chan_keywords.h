// Card keywords of the channel input file and the grid-stream file.
#pragma once

// One code per keyword; synonyms share a code.
enum chan_keyword : int {
    kChanNone = 0,   // the line has no keyword (empty, or its first word is no card)
    // Header
    kChanAlpha, kChanBeta, kChanTheta, kChanDx, kChanLinks, kChanMaxnodes,
    // Network
    kChanConnect, kChanLink, kChanNodes, kChanNode,
    // Link kinds
    kChanTrapezoid, kChanSubsurfaceTrapezoid, kChanTrapErode, kChanTrapSubsurfaceErode,
    kChanBreakpoint, kChanSubsurfaceBreakpoint, kChanBreakErode, kChanBreakSubsurfaceErode,
    kChanLake, kChanStructure,
    // Link attributes and per-link values
    kChanErodible, kChanSubsurface, kChanManningsN, kChanMaxErosion, kChanKRiver, kChanMRiver,
    kChanDispersionCoeff, kChanDecayCoeff, kChanNumOutlets,
    // Node values
    kChanElev, kChanXsec, kChanBottomWidth, kChanBankfullDepth, kChanSideSlope, kChanXY,
    kChanPointsource, kChanPumpto,
    // Break-point sections
    kChanNpairs, kChanNumInterp, kChanX1,
    // Lakes
    kChanMinwse, kChanInitwse, kChanMaxwse, kChanNumpts, kChanMlake,
    // Structures
    kChanNumstructs, kChanStructtype, kChanUpinvert, kChanDowninvert, kChanInletDischCoeff,
    kChanRevFlowDischCoeff, kChanSlope, kChanLength, kChanWidth, kChanHeight, kChanDiameter,
    kChanRoughCoeff, kChanAValue, kChanBValue, kChanCrestLength, kChanCrestLowElev,
    kChanCrestLowLoc, kChanDischargeCoeffForward, kChanDischargeCoeffReverse, kChanSteepSlope,
    kChanShallowSlope,
    // Grid-stream file
    kChanStreamcells, kChanNumnodes, kChanCellij, kChanLinknode,
};

// Code of the keyword that a line begins with (leading blanks, tabs and
// newlines skipped; the word ends at a blank, tab, newline, carriage return or
// the end; compared case-insensitively and in full). A keyword is removed from
// the line so that the rest carries the card's values; a line without one is
// left as it is and gives kChanNone.
int chan_keyword_code(char* line);

// The keyword text of a code (its first synonym), "" for kChanNone.
const char* chan_keyword_name(int code);
