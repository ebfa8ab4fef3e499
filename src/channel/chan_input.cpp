// Reader of the channel input file ("pluvo_chan") and of the grid-stream file
// ("GRIDSTREAMFILE").
//
// The channel file is taken in once, line by line through the replacement
// step, each line split into its card keyword and the rest; the passes of the
// reader then walk these cards: the header cards, a counting pass that sizes
// everything, the connections, the node and structure cards, the break-point
// sections, and the lakes. Every count, link, node, cell row and column read
// is checked against the network and the grid before it is used as an index;
// a bad value stops the run with a message naming the file, the line and the
// card.
#include "channel/chan_input.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "channel/breakpoint_xsec.h"
#include "channel/chan_keywords.h"
#include "channel/chan_messages.h"
#include "channel/channel_records.h"
#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "core/text.h"
#include "input/elevation_series.h"
#include "input/time_series.h"

namespace {

constexpr int kMaxUpstream = 20;              // most upstream links at one CONNECT card
constexpr double kMinManningsN = 1e-8;        // smaller roughness values are refused
constexpr double kMaxNodeSlots = 2e7;         // largest (links + 2) x (maxnodes + 2) accepted
constexpr int kLakePairsPerLine = 10;         // NUMPTS row-column pairs per line
constexpr double kLakeCellMargin = 0.001;     // a lake covers a cell above its ground + this, m
// Bed and lake levels, m: from the deepest trench to the highest summit.
constexpr number_range kElevationRange = closed_range(-11000.0, 9000.0);

inline size_t ix(int i) { return static_cast<size_t>(i); }

// One line of the file after the first: its card code, the rest of the line and its number.
struct chan_card {
    int code = kChanNone;
    int line = 0;
    std::string rest;
};

const char* const kStructNames[] = {"weir",         "sag_weir",          "round_culvert",
                                    "oval_culvert", "rect_culvert",      "rating_curve",
                                    "scheduled_release", "rule_curve"};

// Structure type of a STRUCTTYPE word: 1..8 when it begins with a type name, else 0.
int struct_type_of(const char* word) {
    for (int i = 0; i < 8; ++i) {
        const size_t n = std::strlen(kStructNames[i]);
        if (strncasecmp(word, kStructNames[i], n) == 0) return i + 1;
    }
    return 0;
}

bool channel_link(int type) { return (type & kLtChannel) != 0; }

// Reads a file into its cards; false at an empty file.
bool load_cards(file_object& f, std::string& first_line, std::vector<chan_card>& cards) {
    text_line line;
    if (!read_line(line, f)) return false;
    first_line = line.data();
    int number = 1;
    while (read_line(line, f)) {
        ++number;
        char* text = line.data();
        size_t len = std::strlen(text);
        while (len > 0 && text[len - 1] == '\r') text[--len] = '\0';
        chan_card c;
        c.line = number;
        c.code = chan_keyword_code(text);
        c.rest = text;
        cards.push_back(std::move(c));
    }
    return true;
}

// The passes over the cards of one channel file.
struct chan_reader {
    run_state& rs;
    std::string file;                 // file name shown in messages
    std::vector<chan_card> cards;
    text_line buffer;
    size_t header_end = 0;            // index of the fifth header card
    size_t last_connect = 0;          // index of the last CONNECT card read
    bool any_connect = false;

    // Counting-pass results
    std::vector<int> link_order;      // links in the order their LINK cards first appear
    std::vector<int> mannings_given;  // per link: MANNINGS_N given
    std::vector<int> sections;        // per link: NPAIRS cards (sections)
    std::vector<int> first_section, last_section;  // per link: lowest and highest section node
    std::vector<int> xsec_node;       // per link: last node marked XSEC
    int connect_cards = 0;
    int gw_links = 0;
    int lakes = 0;
    int structure_links = 0;
    int numstructs_sum = 0;
    int pointsources = 0;
    int pumps = 0;
    int max_numpts = 0;
    int max_sections = 0;
    std::vector<int> node_line;       // per (node, link) of a channel link: line of its NODE card
    size_t largest_interp_card = 0;   // index of the card with the largest NUM_INTERP

    chan_reader(run_state& r, const char* name) : rs(r), file(name ? name : "") {}

    // The values of a card in the token buffer (the buffer is overwritten by the next call).
    char* values(const chan_card& c) {
        buffer.assign(c.rest.c_str());
        return buffer.data();
    }

    // Message naming the file, line and card; raises code 4000.
    bool fail(const chan_card& c, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        char text[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        chan_say("\nError in the channel input file %s, line %d (%s card):\n  %s\n", file.c_str(),
                 c.line, chan_keyword_name(c.code), text);
        chan_fail();
        return false;
    }
    // Message naming the file; raises code 4000.
    bool fail_file(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char text[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        chan_say("\nError in the channel input file %s:\n  %s\n", file.c_str(), text);
        chan_fail();
        return false;
    }

    // The next value of a card as a whole integer (int range) or a finite
    // real; anything else stops the run naming the card and the token.
    bool int_value(const chan_card& c, char* v, int& out, const char* what) {
        char token[kTokenSize];
        const number_status status = next_checked_int(v, out, token);
        if (status == number_status::ok) return true;
        if (status == number_status::missing) return fail(c, "the %s is missing", what);
        return fail(c, "the %s \"%.63s\" %s", what, token, number_status_words(status));
    }
    // `range`: the values the field accepts (a value outside is refused too).
    bool double_value(const chan_card& c, char* v, double& out, const char* what,
                      const number_range& range = kAnyNumber) {
        char token[kTokenSize];
        token[0] = '\0';
        double unused = 0.0;
        next_checked_double(v, unused, token);
        const number_status status = check_real_token(token, range, out);
        if (status == number_status::ok) return true;
        char why[512];
        describe_number_fault(status, what, token, range, why, sizeof why);
        return fail(c, "%s", why);
    }
    bool link_in_range(const chan_card& c, int link, const char* what) {
        if (link >= 1 && link <= rs.links) return true;
        return fail(c, "%s %d is outside the links 1..%d of the LINKS card", what, link, rs.links);
    }
    // The two integers of a PUMPTO card, checked before the pump is built:
    // whole numbers, the link a link of the network and the node one of that
    // link's nodes (the node of a card on a plain trapezoid link is replaced
    // by 1, so only its form is checked). `v` itself is left as it was.
    bool pump_target(const chan_card& c, const char* v, int link_type) {
        std::vector<char> rest(v, v + std::strlen(v) + 1);
        int to_link = 0, to_node = 0;
        if (!int_value(c, rest.data(), to_link, "pump link") ||
            !int_value(c, rest.data(), to_node, "pump node") ||
            !link_in_range(c, to_link, "pump link"))
            return false;
        const int nodes = rs.nx1[ix(to_link)];
        if (link_type != kLtTrapezoid && (to_node < 1 || to_node > nodes)) {
            return fail(c, "pump node %d is outside the nodes 1..%d of link %d", to_node, nodes,
                        to_link);
        }
        return true;
    }

    bool header_pass();
    void allocate_link_arrays();
    bool counting_pass();
    bool check_links();
    void print_summary();
    bool check_limits();
    bool size_sections();
    void allocate_node_arrays();
    bool connection_pass();
    bool node_pass();
    bool structure_card(const chan_card& c, char* v, int& element);
    void river_bed();
    bool trapezoid_sections();
    bool breakpoint_pass();
    bool finish_nodes();
    bool lake_pass();
    void keep_connections_as_read();
};

bool chan_reader::header_pass() {
    int seen = 0;
    for (size_t i = 0; i < cards.size() && seen < 5; ++i) {
        const chan_card& c = cards[i];
        char* v = values(c);
        switch (c.code) {
            case kChanAlpha:
                if (!double_value(c, v, rs.chan_alpha, "weight alpha")) return false;
                break;
            case kChanBeta:
                if (!double_value(c, v, rs.chan_beta, "weight beta")) return false;
                break;
            case kChanTheta:
                if (!double_value(c, v, rs.chan_theta, "weight theta")) return false;
                break;
            case kChanLinks:
                if (!int_value(c, v, rs.links, "number of links")) return false;
                if (rs.links < 1) return fail(c, "the number of links is %d; it must be at least 1", rs.links);
                break;
            case kChanMaxnodes:
                if (!int_value(c, v, rs.maxnodes, "largest node count")) return false;
                if (rs.maxnodes < 1)
                    return fail(c, "the largest node count is %d; it must be at least 1", rs.maxnodes);
                break;
            default:
                continue;
        }
        if (++seen == 5) header_end = i;
    }
    if (seen < 5) {
        chan_say("\nError in the channel input file %s:\n", file.c_str());
        chan_say("Premature end-of-file in the channel input file.\n");
        chan_say("The channel input file does not contain all the required parameter cards.\n");
        chan_say("These include: ALPHA, BETA, THETA, DX, LINKS, and MAXNODES.\n");
        chan_say("Repair your channel input file and try again.  These cards must appear at\n");
        chan_say("The beginning of the file before and COORD or LINK cards.\n");
        chan_say("Program terminated in read_chan_input.\n");
        chan_fail();
        return false;
    }
    const double slots = (static_cast<double>(rs.links) + 2.0) * (static_cast<double>(rs.maxnodes) + 2.0);
    if (slots > kMaxNodeSlots) {
        return fail_file("LINKS %d and MAXNODES %d give %.0f node slots, more than the %.0f "
                         "this program accepts",
                         rs.links, rs.maxnodes, slots, kMaxNodeSlots);
    }
    return true;
}

void chan_reader::allocate_link_arrays() {
    const int L = rs.links, M = rs.maxnodes;
    rs.links_plus_one = L + 1;
    rs.node_grid_slots = (L + 1) * (M + 1);
    const size_t n = ix(L) + 1;
    rs.ltype.assign(n, 0);
    rs.ldex.assign(n, 0);
    rs.ndep.assign(n, 0);
    rs.dslink.assign(n, 0);
    rs.nx.assign(n, 0);
    rs.nx1.assign(n, 0);
    rs.og_nx1.assign(n, 0);
    rs.dx.assign(n, 0.0);
    rs.chan_n.assign(n, 0.0);
    rs.inv_n.assign(n, 0.0);
    rs.link_k_river.assign(n, 0.0);
    rs.link_m_river.assign(n, 0.0);
    rs.bplink.assign(n, 0);
    rs.table_num.assign(ix(M) + 2, ix(L) + 2, 0);
    mannings_given.assign(n, 0);
    sections.assign(n, 0);
    first_section.assign(n, 0);
    last_section.assign(n, 0);
    xsec_node.assign(n, 0);
}

bool chan_reader::counting_pass() {
    int link = 0;
    std::vector<int> seen(ix(rs.links) + 1, 0);
    for (size_t i = header_end + 1; i < cards.size(); ++i) {
        const chan_card& c = cards[i];
        if (c.code == kChanNone) continue;
        char* v = values(c);
        // Cards that describe the current link.
        const bool link_card =
            (c.code >= kChanNodes && c.code <= kChanMRiver && c.code != kChanNode) ||
            c.code == kChanDx;
        if (link_card && c.code != kChanDx && link == 0) {
            return fail(c, "the card comes before any LINK card");
        }
        const size_t l = ix(link);
        int value = 0;
        double real = 0.0;
        switch (c.code) {
            case kChanLink:
                if (!int_value(c, v, link, "link number") || !link_in_range(c, link, "link")) return false;
                if (!seen[ix(link)]) {
                    seen[ix(link)] = 1;
                    link_order.push_back(link);
                }
                break;
            case kChanDx:
                if (link != 0 && !double_value(c, v, rs.dx[l], "node spacing")) return false;
                break;
            case kChanNodes:
                if (!int_value(c, v, value, "node count")) return false;
                if (value < 1 || value > rs.maxnodes + 1) {
                    return fail(c, "link %d has NODES %d; MAXNODES %d allows 1..%d", link, value,
                                rs.maxnodes, rs.maxnodes + 1);
                }
                rs.nx1[l] = value;
                break;
            case kChanTrapezoid: rs.ltype[l] = 4; rs.ldex[l] = link; break;
            case kChanSubsurfaceTrapezoid: rs.ltype[l] = 5; rs.ldex[l] = link; break;
            case kChanTrapErode: rs.ltype[l] = 6; rs.ldex[l] = link; break;
            case kChanTrapSubsurfaceErode: rs.ltype[l] = 7; rs.ldex[l] = link; break;
            case kChanBreakpoint: rs.ltype[l] = 8; rs.ldex[l] = link; break;
            case kChanSubsurfaceBreakpoint: rs.ltype[l] = 9; rs.ldex[l] = link; break;
            case kChanBreakErode: rs.ltype[l] = 10; rs.ldex[l] = link; break;
            case kChanBreakSubsurfaceErode: rs.ltype[l] = 11; rs.ldex[l] = link; break;
            case kChanLake:
                rs.ltype[l] = kLtLake;
                rs.ldex[l] = ++lakes;
                break;
            case kChanStructure:
                rs.ltype[l] = kLtStructure;
                rs.ldex[l] = link;
                rs.nx1[l] = 2;
                ++structure_links;
                break;
            case kChanErodible:
                if (!(rs.ltype[l] & kLtErodible)) rs.ltype[l] += kLtErodible;
                break;
            case kChanSubsurface:
                if (!(rs.ltype[l] & kLtSubsurface)) rs.ltype[l] += kLtSubsurface;
                break;
            case kChanManningsN:
                if (!double_value(c, v, real, "Manning roughness")) return false;
                if (real < kMinManningsN) {
                    chan_say("\nError in the channel input file %s, line %d:\n", file.c_str(), c.line);
                    chan_say("Error encountered when reading the channel input file, link %d:\n", link);
                    chan_say("    Manning's Roughness is 0.000\n");
                    chan_fail();
                    return false;
                }
                rs.chan_n[l] = real;
                mannings_given[l] = 1;
                break;
            case kChanKRiver:
                if (!double_value(c, v, rs.link_k_river[l], "river-bed conductivity")) return false;
                ++gw_links;
                break;
            case kChanMRiver:
                if (!double_value(c, v, rs.link_m_river[l], "river-bed thickness")) return false;
                break;
            case kChanConnect:
                ++connect_cards;
                if (!int_value(c, v, value, "link") || !int_value(c, v, value, "downstream link") ||
                    !int_value(c, v, value, "number of upstream links"))
                    return false;
                if (value < 0) return fail(c, "the upstream link count %d is negative", value);
                rs.max_uslinks = std::max(rs.max_uslinks, value);
                break;
            case kChanNpairs:
                if (!int_value(c, v, value, "number of pairs")) return false;
                // Each pair has an X1 line of its own: a count beyond the lines left
                // is refused before it sizes the section arrays.
                if (static_cast<size_t>(std::max(value, 0)) > cards.size() - i - 1) {
                    return fail(c, "NPAIRS %d is more pairs than the %zu lines after it", value,
                                cards.size() - i - 1);
                }
                if (link != 0) ++sections[l];
                rs.max_npairs = std::max(rs.max_npairs, value);
                break;
            case kChanNumInterp:
                if (!int_value(c, v, value, "number of interpolation points")) return false;
                if (value > rs.max_num_interp) {
                    rs.max_num_interp = value;
                    largest_interp_card = i;
                }
                break;
            case kChanMlake:
                rs.mlake_given = 1;
                break;
            case kChanStructtype: {
                char word[kTokenSize];
                next_word(v, word);
                if (struct_type_of(word) != 0) ++rs.num_struct_elements;
                break;
            }
            case kChanNumstructs:
                if (!int_value(c, v, value, "number of structure elements")) return false;
                if (value < 0) return fail(c, "the number of structure elements %d is negative", value);
                numstructs_sum += value;
                break;
            case kChanPointsource:
                ++pointsources;
                break;
            case kChanPumpto:
                ++pumps;
                break;
            case kChanNumpts:
                if (!int_value(c, v, value, "number of search cells")) return false;
                if (value < 0) return fail(c, "the number of search cells %d is negative", value);
                if (static_cast<double>(value) >
                    static_cast<double>(kLakePairsPerLine) * static_cast<double>(cards.size() - i - 1)) {
                    return fail(c, "NUMPTS %d is more search cells than the %zu lines after it "
                                   "list at %d pairs a line",
                                value, cards.size() - i - 1, kLakePairsPerLine);
                }
                max_numpts = std::max(max_numpts, value);
                break;
            default:
                break;
        }
    }
    return true;
}

// The links as a whole: each described, channel links with nodes and roughness.
bool chan_reader::check_links() {
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (type & kLtStructure) rs.nx1[ix(l)] = 2;
        if (type == 0) {
            return fail_file("link %d has no link kind card (TRAPEZOID, BREAKPOINT, LAKE, "
                             "STRUCTURE ...) after its LINK card",
                             l);
        }
        if (channel_link(type)) {
            if (rs.nx1[ix(l)] < 2) {
                return fail_file("channel link %d has NODES %d; a channel link needs at least 2 "
                                 "node points",
                                 l, rs.nx1[ix(l)]);
            }
            if (!mannings_given[ix(l)]) {
                chan_say("\nError in the channel input file %s:\n", file.c_str());
                chan_say("Error encountered when reading the channel input file, link %d:\n", l);
                chan_say("    Manning's Roughness is not given (no MANNINGS_N card)\n");
                chan_fail();
                return false;
            }
        }
        // A lake or structure link has as many nodes as points: they must fit MAXNODES.
        if (!channel_link(type) && rs.nx1[ix(l)] > rs.maxnodes) {
            return fail_file("link %d has %d nodes, more than MAXNODES %d", l, rs.nx1[ix(l)],
                             rs.maxnodes);
        }
    }
    if (rs.num_struct_elements != numstructs_sum) {
        chan_say("\nThe sum of NUMSTRUCTS arguments is %d, while the total number\n", numstructs_sum);
        chan_say("of hydraulic structure element cards (e.g. WEIR, ROUND_CULVERT,\n");
        chan_say("etc.) is %d.  This inconstency is intolerable.  Check your channel\n",
                 rs.num_struct_elements);
        chan_say("input file.  Program terminated.\n");
        chan_fail();
        return false;
    }
    // Erodible break-point links numbered in file order.
    rs.num_bp_erode_links = 0;
    for (int l : link_order) {
        const int type = rs.ltype[ix(l)];
        if ((type & kLtBreakpoint) && (type & kLtErodible)) rs.bplink[ix(l)] = ++rs.num_bp_erode_links;
    }
    for (int l = 1; l <= rs.links; ++l) {
        if (rs.ltype[ix(l)] & kLtBreakpoint) max_sections = std::max(max_sections, sections[ix(l)]);
    }
    const int L = rs.links, M = rs.maxnodes;
    if (structure_links > 0) rs.link_structures.assign(ix(L) + 1, link_structure());
    if (rs.num_struct_elements > 0) rs.structures.assign(ix(rs.num_struct_elements) + 2, hydraulic_structure());
    if (rs.num_bp_erode_links > 0) {
        const size_t b = ix(rs.num_bp_erode_links) + 1;
        const std::vector<double> pairs(ix(rs.max_npairs) + 2, 0.0);
        rs.xbp_lnn.assign(b, std::vector<std::vector<double>>(ix(M) + 2, pairs));
        rs.ybp_lnn.assign(b, std::vector<std::vector<double>>(ix(M) + 2, pairs));
        rs.max_yp.assign(b, std::vector<double>(ix(M) + 2, 0.0));
        rs.ch_sand_vol0.assign(b, std::vector<double>(ix(M) + 2, 0.0));
    }
    return true;
}

void chan_reader::print_summary() {
    int trap = 0, trap_sub = 0, trap_erode = 0, bp = 0, bp_sub = 0, bp_erode = 0;
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (type & kLtTrapezoid) {
            ++trap;
            if (type & kLtSubsurface) ++trap_sub;
            if (type & kLtErodible) ++trap_erode;
        } else if (type & kLtBreakpoint) {
            ++bp;
            if (type & kLtSubsurface) ++bp_sub;
            if (type & kLtErodible) ++bp_erode;
        }
    }
    chan_status(rs, "\n\nChannel input data:\n");
    chan_status(rs, "  max. number of u.s. dependencies:      %d\n", rs.max_uslinks);
    chan_status(rs, "  number of trapezoidal links:           %d\n", trap);
    chan_status(rs, "    num w/ subsurface attribute:           %d\n", trap_sub);
    chan_status(rs, "    num w/ erodible attribute:             %d\n", trap_erode);
    chan_status(rs, "  number of breakpoint links:            %d\n", bp);
    chan_status(rs, "    num w/ subsurface attribute:           %d\n", bp_sub);
    chan_status(rs, "    num w/ erodible attribute:             %d\n", bp_erode);
    chan_status(rs, "    max number of xsec in any bp link:     %d\n", max_sections);
    chan_status(rs, "    max number of xsec pairs:              %d\n", rs.max_npairs);
    chan_status(rs, "  number of lake links:                  %d\n", lakes);
    chan_status(rs, "  number of hydraulic structure links:   %d\n", structure_links);
    chan_status(rs, "    total no. of hydr. structure elements: %d\n", rs.num_struct_elements);
    chan_status(rs, "  number of groundwater links:           %d\n", gw_links);
    if (trap_sub + bp_sub != gw_links) {
        chan_status(rs, " ===> Error: the number of specified subsurface links does not match the "
                        "number of subsurface \nparameters. Check your subsurface links to ensure "
                        "that they specify the bed concuctivity and thickness\n");
    }
}

bool chan_reader::check_limits() {
    if (rs.max_uslinks > kMaxUpstream) {
        chan_say("\nError in the channel input file %s:\n", file.c_str());
        chan_say("\n\n");
        chan_say("Program terminated because the maximum number of upstream dependencies\n");
        chan_say("in the read_chan_input subroutine was equal to %d, which is, frankly, a\n",
                 rs.max_uslinks);
        chan_say("few too many.  No link may have more than %d links flowing into it.\n", kMaxUpstream);
        chan_say("Split the junction into several links in your channel input file\n");
        chan_say("and try again.\n");
        chan_say("\n");
        chan_fail();
        return false;
    }
    if (connect_cards != rs.links) {
        chan_say("\nError in the channel input file %s:\n", file.c_str());
        chan_say("Your channel input file contains %d links, and %d CONNECT cards\n", rs.links,
                 connect_cards);
        chan_say("These two numbers must be equal.  Therefore, you have a major \n");
        chan_say("problem with your channel input file.  PLUVO cannot proceed.\n");
        chan_say("Fifteen yard penalty from the line of scrimmage.\n");
        chan_say("program terminated.\n");
        chan_fail();
        return false;
    }
    return true;
}

// Section nodes of the break-point links and the number of depth tables.
bool chan_reader::size_sections() {
    int link = 0, node = 0;
    for (const chan_card& c : cards) {
        if (c.code != kChanLink && c.code != kChanNode && c.code != kChanNpairs) continue;
        char* v = values(c);
        int value = 0;
        if (c.code == kChanLink) {
            if (!int_value(c, v, link, "link number")) return false;
            if (link < 1 || link > rs.links) link = 0;
            node = 0;
        } else if (c.code == kChanNode) {
            if (!int_value(c, v, node, "node number")) return false;
        } else if (link != 0 && (rs.ltype[ix(link)] & kLtBreakpoint)) {
            if (!int_value(c, v, value, "number of pairs")) return false;
            if (node < 1 || node > rs.nx1[ix(link)]) {
                return fail(c, "the section of link %d stands at node %d; it needs a NODE card "
                               "with a node 1..%d before it",
                            link, node, rs.nx1[ix(link)]);
            }
            if (value < 2) return fail(c, "a section needs at least 2 pairs, not %d", value);
            int& first = first_section[ix(link)];
            int& last = last_section[ix(link)];
            first = first == 0 ? node : std::min(first, node);
            last = std::max(last, node);
        }
    }
    int tables = 0;
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (!(type & kLtBreakpoint)) continue;
        if (sections[ix(l)] < 1) {
            return fail_file("break-point link %d has no cross-section (NPAIRS card)", l);
        }
        tables += breakpoint_table_count(rs.nx1[ix(l)], (type & kLtErodible) != 0, sections[ix(l)],
                                         first_section[ix(l)], last_section[ix(l)]);
    }
    rs.num_xsec_tables = tables;
    return true;
}

void chan_reader::allocate_node_arrays() {
    const size_t R = ix(rs.maxnodes) + 2, C = ix(rs.links) + 2;
    for (node_array* a : {&rs.bel, &rs.lnx, &rs.lny, &rs.bottom, &rs.sslope, &rs.sslope2,
                          &rs.bankfull_dep, &rs.max_eros, &rs.yp, &rs.qp, &rs.Fr, &rs.qp_vol,
                          &rs.qp_vol_sed}) {
        a->assign(R, C, 0.0);
    }
    if (gw_links > 0 || rs.stream_exchange) {
        rs.Krb.assign(R, C, 0.0);
        rs.Mrb.assign(R, C, 0.0);
    }
    if (pointsources > 0) alloc_stream_pointsource(rs);
    if (pumps > 0) alloc_stream_pumps(rs);
}

bool chan_reader::connection_pass() {
    int read = 0;
    std::vector<int> given(ix(rs.links) + 1, 0);
    rs.uslinks.assign(ix(rs.links) + 1, std::vector<int>(ix(rs.max_uslinks) + 1, 0));
    // Like the counting pass that sized uslinks, from the card after the header cards on.
    for (size_t i = header_end + 1; i < cards.size() && read < rs.links; ++i) {
        const chan_card& c = cards[i];
        if (c.code != kChanConnect) continue;
        char* v = values(c);
        int link = 0, down = 0, count = 0;
        if (!int_value(c, v, link, "link number") || !int_value(c, v, down, "downstream link") ||
            !int_value(c, v, count, "number of upstream links"))
            return false;
        if (!link_in_range(c, link, "link")) return false;
        if (down < 0 || down > rs.links || down == link) {
            return fail(c, "link %d has the downstream link %d; it must be another link 1..%d, "
                           "or 0 at the outlet",
                        link, down, rs.links);
        }
        if (given[ix(link)]) return fail(c, "link %d has a second CONNECT card", link);
        given[ix(link)] = 1;
        rs.dslink[ix(link)] = down;
        rs.ndep[ix(link)] = count;
        for (int k = 1; k <= count; ++k) {
            int up = 0;
            if (!int_value(c, v, up, "upstream link")) return false;
            if (!link_in_range(c, up, "upstream link")) return false;
            rs.uslinks[ix(link)][ix(k)] = up;
        }
        ++read;
        last_connect = i;
        any_connect = true;
    }
    if (read < rs.links) {
        chan_say("\nError in the channel input file %s:\n", file.c_str());
        chan_say("Premature end-of-file in the channel input file.\n");
        chan_say("While searching for %d CONNECT cards\n", rs.links);
        chan_say("Program terminated in read_chan_input.\n");
        chan_fail();
        return false;
    }
    return true;
}

// STRUCTTYPE and the element cards; false after an error.
bool chan_reader::structure_card(const chan_card& c, char* v, int& element) {
    if (c.code == kChanStructtype) {
        char word[kTokenSize];
        next_word(v, word);
        const int type = struct_type_of(word);
        if (type == 0) return true;   // not a structure type: no element
        ++element;
        if (element > rs.num_struct_elements) return fail(c, "more structure elements than counted");
        hydraulic_structure& s = rs.structures[ix(element)];
        s.structtype = type;
        if (type >= kStructRatingCurve) {
            char name[kTokenSize];
            const bool named = next_word(v, name) != 0 && name[0] != '\0';
            const int missing = type == kStructRatingCurve ? 85 : type == kStructScheduledRelease ? 87 : 89;
            if (!named) {
                error_record.code = missing;
                error_record.stop = 1;
                return false;
            }
            if (type == kStructScheduledRelease) {
                s.release_series = find_time_series(name);
            } else {
                s.elev_series = find_elevation_series(name);
            }
            if (s.release_series == nullptr && s.elev_series == nullptr) {
                error_record.code = missing + 1;
                error_record.stop = 1;
                return false;
            }
        }
        return true;
    }
    if (element < 1) return fail(c, "a structure element card comes before any STRUCTTYPE card");
    hydraulic_structure& s = rs.structures[ix(element)];
    double value = 0.0;
    if (!double_value(c, v, value, "value")) return false;
    switch (c.code) {
        case kChanLength: case kChanCrestLength: s.length = value; break;
        case kChanUpinvert: case kChanCrestLowElev: s.upinvert = value; break;
        case kChanDowninvert: s.downinvert = value; break;
        case kChanSlope: s.slope = value; break;
        case kChanInletDischCoeff: case kChanDischargeCoeffForward: s.fwd_coeff = value; break;
        case kChanRevFlowDischCoeff: case kChanDischargeCoeffReverse: s.rev_coeff = value; break;
        case kChanWidth: case kChanDiameter: case kChanAValue: case kChanSteepSlope: s.width = value; break;
        case kChanHeight: case kChanBValue: case kChanShallowSlope: s.height = value; break;
        case kChanCrestLowLoc: s.crest_low_loc = value; break;
        case kChanRoughCoeff: s.roughness = value; break;
        default: break;
    }
    return true;
}

bool chan_reader::node_pass() {
    int link = 0, node = 0, element = 0;
    // Every node of a channel link is described by exactly one NODE card: a
    // node left out would keep a bed of 0 m, a node given twice would have
    // its first description overwritten.
    const size_t row = ix(rs.maxnodes) + 2;
    node_line.assign(row * (ix(rs.links) + 1), 0);
    // The node pass never reaches back before the counting pass that sized its arrays.
    const size_t start = any_connect ? std::max(last_connect, header_end) + 1 : cards.size();
    for (size_t i = start; i < cards.size(); ++i) {
        const chan_card& c = cards[i];
        if (c.code == kChanNone) continue;
        char* v = values(c);
        const bool node_card = c.code == kChanElev || c.code == kChanXY || c.code == kChanXsec ||
                               c.code == kChanBottomWidth || c.code == kChanBankfullDepth ||
                               c.code == kChanSideSlope || c.code == kChanMaxErosion;
        if (node_card && (link == 0 || node == 0)) {
            return fail(c, "the card comes before the LINK and NODE cards of its node");
        }
        const size_t l = ix(link), k = ix(node);
        switch (c.code) {
            case kChanLink:
                if (!int_value(c, v, link, "link number") || !link_in_range(c, link, "link")) return false;
                node = 0;
                break;
            case kChanNode:
                if (link == 0) return fail(c, "the card comes before any LINK card");
                if (!int_value(c, v, node, "node number")) return false;
                if (node < 1 || node > rs.nx1[l]) {
                    return fail(c, "node %d of link %d is outside the link's NODES 1..%d", node,
                                link, rs.nx1[l]);
                }
                if (channel_link(rs.ltype[l])) {
                    int& first = node_line[ix(link) * row + ix(node)];
                    if (first != 0) {
                        return fail(c, "node %d of link %d is described twice: its first NODE "
                                       "card is on line %d",
                                    node, link, first);
                    }
                    first = c.line;
                }
                break;
            case kChanElev:
                if (!double_value(c, v, rs.bel(k, l), "bed elevation", kElevationRange)) return false;
                break;
            case kChanXY:
                if (!double_value(c, v, rs.lnx(k, l), "x coordinate") ||
                    !double_value(c, v, rs.lny(k, l), "y coordinate"))
                    return false;
                break;
            case kChanXsec:
                xsec_node[l] = node;
                break;
            case kChanBottomWidth:
                if (!double_value(c, v, rs.bottom(k, l), "bottom width")) return false;
                break;
            case kChanBankfullDepth:
                if (!double_value(c, v, rs.bankfull_dep(k, l), "bank-full depth", at_least(0.0)))
                    return false;
                break;
            case kChanSideSlope:
                if (!double_value(c, v, rs.sslope(k, l), "side slope")) return false;
                break;
            case kChanMaxErosion:
                // The depth the bed may erode, m: a negative one gives negative sand.
                if (!double_value(c, v, rs.max_eros(k, l), "erosion depth", at_least(0.0)))
                    return false;
                break;
            case kChanNumstructs:
                if (link == 0) return fail(c, "the card comes before any LINK card");
                if (!rs.link_structures.empty() &&
                    !int_value(c, v, rs.link_structures[l].numstructs, "number of structures"))
                    return false;
                break;
            case kChanStructtype: {
                const int before = element;
                if (!structure_card(c, v, element)) return false;
                if (element != before && link != 0 && !rs.link_structures.empty()) {
                    link_structure& ls = rs.link_structures[l];
                    ls.first = std::min(ls.first, element);
                    ls.last = std::max(ls.last, element);
                }
                break;
            }
            case kChanUpinvert: case kChanDowninvert: case kChanInletDischCoeff:
            case kChanRevFlowDischCoeff: case kChanSlope: case kChanLength: case kChanWidth:
            case kChanHeight: case kChanDiameter: case kChanRoughCoeff: case kChanAValue:
            case kChanBValue: case kChanCrestLength: case kChanCrestLowElev: case kChanCrestLowLoc:
            case kChanDischargeCoeffForward: case kChanDischargeCoeffReverse: case kChanSteepSlope:
            case kChanShallowSlope:
                if (!structure_card(c, v, element)) return false;
                break;
            case kChanPointsource: {
                if (link == 0) return fail(c, "the card comes before any LINK card");
                const int at = (rs.ltype[l] & kLtLake) ? 1 : node;
                if (at < 1) return fail(c, "the card comes before the NODE card of its node");
                char name[kTokenSize];
                next_word(v, name);
                if (!rs.stream_pointsource.has(at, link)) return fail(c, "the point source was not counted");
                rs.stream_pointsource(ix(at), l) = name[0] ? find_time_series(name) : nullptr;
                break;
            }
            case kChanPumpto:
                if (link == 0 || node == 0) return fail(c, "the card comes before the LINK and NODE cards of its node");
                if (!rs.stream_pumps.has(node, link)) return fail(c, "the pump was not counted");
                if (!pump_target(c, v, rs.ltype[l])) return false;
                rs.stream_pumps(k, l) = read_chan_pump(rs, v, link, rs.ltype[l]);
                break;
            default:
                break;
        }
    }
    for (int l = 1; l <= rs.links; ++l) {
        if (!channel_link(rs.ltype[ix(l)])) continue;
        for (int k = 1; k <= rs.nx1[ix(l)]; ++k) {
            if (node_line[ix(l) * row + ix(k)] != 0) continue;
            return fail_file("node %d of link %d has no NODE card: every node 1..%d of the link "
                             "(its NODES card) must be described once",
                             k, l, rs.nx1[ix(l)]);
        }
    }
    return true;
}

void chan_reader::river_bed() {
    if (rs.Krb.empty()) return;
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        const bool own = (type & (kLtTrapezoid | kLtBreakpoint)) && (type & kLtSubsurface);
        for (int k = 1; k <= rs.nx1[ix(l)]; ++k) {
            rs.Krb(ix(k), ix(l)) = own ? rs.link_k_river[ix(l)] : rs.k_river;
            rs.Mrb(ix(k), ix(l)) = own ? rs.link_m_river[ix(l)] : rs.m_river;
        }
    }
}

bool chan_reader::trapezoid_sections() {
    for (int l = 1; l <= rs.links; ++l) {
        const size_t li = ix(l);
        rs.inv_n[li] = rs.chan_n[li] > 0.0 ? 1.0 / rs.chan_n[li] : 0.0;
        const int type = rs.ltype[li];
        if (!(type & kLtTrapezoid)) continue;
        const int at = xsec_node[li];
        if (at == 0) {
            chan_say("\nError in the channel input file %s:\n", file.c_str());
            chan_say("Error: Cross section parameters not found for link %d.\n", l);
            chan_fail();
            return false;
        }
        const size_t s = ix(at);
        const double b = rs.bottom(s, li), z = rs.sslope(s, li);
        if (b < 0.0 || z < 0.0 || (b <= 0.0 && z <= 0.0)) {
            return fail_file("the trapezoid section of link %d (node %d) has bottom width %g and "
                             "side slope %g; neither may be negative and not both zero",
                             l, at, b, z);
        }
        for (int k = 1; k <= rs.nx1[li]; ++k) {
            const size_t ki = ix(k);
            rs.sslope(ki, li) = z;
            rs.bottom(ki, li) = b;
            rs.bankfull_dep(ki, li) = rs.bankfull_dep(s, li);
            if (type & kLtErodible) rs.max_eros(ki, li) = rs.max_eros(s, li);
        }
    }
    return true;
}

bool chan_reader::breakpoint_pass() {
    bool any = false;
    for (int l = 1; l <= rs.links; ++l) any = any || (rs.ltype[ix(l)] & kLtBreakpoint) != 0;
    if (!any) return true;
    if (rs.max_num_interp < 1) {
        chan_say("\nError in the channel input file %s:\n", file.c_str());
        chan_say("Error: the number of interpolation points has not been specifiedfor any table. "
                 "Each break-point cross-section table should have a NUM_INTERP ### card below the "
                 "NPAIRS card\n");
        chan_fail();
        return false;
    }
    const size_t steps = ix(rs.max_num_interp) + 2, tables = ix(rs.num_xsec_tables) + 1;
    if (static_cast<double>(steps) * static_cast<double>(tables) > kMaxNodeSlots) {
        return fail(cards[largest_interp_card],
                    "NUM_INTERP %d gives section tables of %.0f entries, more than the %.0f this "
                    "program accepts",
                    rs.max_num_interp, static_cast<double>(steps) * static_cast<double>(tables),
                    kMaxNodeSlots);
    }
    for (node_array* a : {&rs.xarea, &rs.xtw, &rs.xk, &rs.xp}) a->assign(steps, tables, 0.0);
    if (rs.chan_mesh) {
        rs.xi1.assign(steps, tables, 0.0);
        rs.xdkda.assign(steps, tables, 0.0);
    }
    rs.numpairs.assign(tables, 0);
    rs.numhts.assign(tables, 0);
    rs.ht_spc.assign(tables, 0.0);
    chan_status(rs, "Reading and interpolating break-point cross-sections ");

    std::vector<int> done(ix(rs.links) + 1, 0);
    std::vector<bp_section> link_sections;
    int link = 0, node = 0, next_table = 1;
    for (const chan_card& c : cards) {
        if (c.code != kChanLink && c.code != kChanNode && c.code != kChanNpairs &&
            c.code != kChanNumInterp && c.code != kChanX1)
            continue;
        char* v = values(c);
        if (c.code == kChanLink) {
            if (!int_value(c, v, link, "link number")) return false;
            if (link < 1 || link > rs.links || !(rs.ltype[ix(link)] & kLtBreakpoint) || done[ix(link)]) {
                link = 0;
            }
            node = 0;
            link_sections.clear();
            continue;
        }
        if (link == 0) continue;
        if (c.code == kChanNode) {
            if (!int_value(c, v, node, "node number")) return false;
        } else if (c.code == kChanNpairs) {
            if (done[ix(link)]) continue;
            bp_section s;
            if (!int_value(c, v, s.npairs, "number of pairs")) return false;
            s.node = node;
            s.ordinal = static_cast<int>(link_sections.size()) + 1;
            s.x.reserve(ix(s.npairs));
            s.z.reserve(ix(s.npairs));
            link_sections.push_back(std::move(s));
        } else if (c.code == kChanNumInterp) {
            if (done[ix(link)]) continue;
            if (link_sections.empty()) return fail(c, "NUM_INTERP comes before the NPAIRS card of its section");
            if (!int_value(c, v, link_sections.back().num_interp, "number of depth steps"))
                return false;
        } else {
            if (link_sections.empty()) return fail(c, "X1 comes before the NPAIRS card of its section");
            bp_section& s = link_sections.back();
            if (s.given >= s.npairs) {
                chan_say("\nError in the channel input file %s, line %d:\n", file.c_str(), c.line);
                chan_say("\n\nError: There are more X1 cards than the NPAIRS card specifies \nfor "
                         "table %d in link %d.\n",
                         s.ordinal, link);
                chan_fail();
                return false;
            }
            double x = 0.0, z = 0.0;
            if (!double_value(c, v, x, "station") || !double_value(c, v, z, "elevation")) return false;
            s.x.push_back(x);
            s.z.push_back(z);
            ++s.given;
            if (s.given == s.npairs && s.ordinal == sections[ix(link)]) {
                if (!read_breakpoint_xsecs(rs, link, link_sections, next_table)) {
                    chan_say("Error in the channel input file %s: the cross-sections of link %d "
                             "(section cards up to line %d) were refused.\n",
                             file.c_str(), link, c.line);
                    return false;
                }
                chan_say(".");
                done[ix(link)] = 1;   // a further X1 card of the link is one too many
            }
        }
    }
    chan_say("\n");
    for (int l = 1; l <= rs.links; ++l) {
        if ((rs.ltype[ix(l)] & kLtBreakpoint) && !done[ix(l)]) {
            return fail_file("the cross-sections of break-point link %d are incomplete: a section "
                             "has fewer X1 cards than its NPAIRS card gives",
                             l);
        }
    }
    return true;
}

// Computational nodes, node beds as the means of neighbouring points, still water.
bool chan_reader::finish_nodes() {
    for (int l = 1; l <= rs.links; ++l) {
        const size_t li = ix(l);
        const int type = rs.ltype[li];
        const bool channel = channel_link(type);
        rs.nx[li] = channel ? rs.nx1[li] - 1 : rs.nx1[li];
        rs.og_nx1[li] = rs.nx[li];
        if (rs.nx[li] > rs.maxnodes) {
            return fail_file("link %d has %d computational nodes, more than MAXNODES %d", l,
                             rs.nx[li], rs.maxnodes);
        }
        double* bed = rs.bel.link_data(li);
        // Lake and structure nodes are their points: their beds stay as given.
        if (channel) {
            for (int k = 1; k <= rs.nx[li]; ++k) bed[k] = 0.5 * (bed[k] + bed[k + 1]);
        }
        double* y = rs.yp.link_data(li);
        double* q = rs.qp.link_data(li);
        for (int k = 1; k <= rs.nx[li]; ++k) {
            y[k] = bed[k];
            q[k] = 0.0;
        }
    }
    return true;
}

bool chan_reader::lake_pass() {
    const int n = lakes;
    rs.channel_lakes = 1;
    rs.num_channel_lakes = n;
    const size_t N = ix(n) + 2;
    rs.lake_minwse.assign(N, 0.0);
    rs.lake_initwse.assign(N, 0.0);
    rs.lake_maxwse.assign(N, 0.0);
    rs.lake_numpts.assign(N, 0);
    rs.lake_volume.assign(N, 0.0);
    rs.lake_area.assign(N, 0.0);
    rs.lake_elev.assign(N, 0.0);
    rs.lake_cells.assign(N, 0);
    rs.cumulative_lake_evap.assign(N, 0.0);
    rs.prevlake_volume.assign(N, 0.0);
    rs.lake_volume_last_chan.assign(N, 0.0);
    rs.lake_in_dv.assign(N, 0.0);
    rs.lake_out_dv.assign(N, 0.0);
    rs.lake_ov_inflow.assign(N, 0.0);
    if (rs.mlake_given) {
        rs.Mlake.assign(N, 0.0);
        rs.calc_loss.assign(N, 0);
    }
    rs.lake_mask.assign(ix(rs.GNUM) + 1, 0);
    rs.new_flooded_grid.assign(ix(rs.GNUM) + 1, 0);
    rs.pct_flooded.assign(ix(rs.maxnodes) + 2, ix(rs.links) + 2, 0.0);
    rs.lake2link.assign(ix(rs.links) + 1, 0);
    for (int l = 1; l <= rs.links; ++l) {
        if (rs.ltype[ix(l)] & kLtLake) rs.lake2link[ix(l)] = rs.ldex[ix(l)];
    }
    alloc_lake_search(rs, n, max_numpts);

    // Like the counting pass that numbered the lakes and sized their arrays.
    int lake = 0;
    for (size_t i = header_end + 1; i < cards.size(); ++i) {
        const chan_card& c = cards[i];
        if (c.code == kChanLake) {
            ++lake;
            continue;
        }
        if (c.code != kChanMlake && c.code != kChanMinwse && c.code != kChanInitwse &&
            c.code != kChanMaxwse && c.code != kChanNumpts)
            continue;
        if (lake < 1 || lake > n) return fail(c, "the lake card comes before any LAKE card");
        char* v = values(c);
        const size_t lk = ix(lake);
        switch (c.code) {
            case kChanMlake:
                if (!double_value(c, v, rs.Mlake[lk], "lake bed thickness")) return false;
                rs.calc_loss[lk] = 1;
                break;
            case kChanMinwse:
                if (!double_value(c, v, rs.lake_minwse[lk], "elevation")) return false;
                break;
            case kChanInitwse:
                if (!double_value(c, v, rs.lake_initwse[lk], "elevation")) return false;
                break;
            case kChanMaxwse:
                if (!double_value(c, v, rs.lake_maxwse[lk], "elevation")) return false;
                break;
            default: {   // NUMPTS: row-column pairs on the following lines, ten per line
                int m = 0;
                if (!int_value(c, v, m, "number of search cells")) return false;
                rs.lake_numpts[lk] = m;
                int p = 0;
                while (p < m) {
                    if (++i >= cards.size()) {
                        return fail(c, "lake %d lists %d search cells but the file ends after %d",
                                    lake, m, p);
                    }
                    const chan_card& row_line = cards[i];
                    char* pairs = values(row_line);
                    for (int q = 0; q < kLakePairsPerLine && p < m; ++q) {
                        int row = 0, col = 0;
                        char token[kTokenSize];
                        const number_status rs_row = next_checked_int(pairs, row, token);
                        const number_status rs_col = rs_row == number_status::ok
                                                         ? next_checked_int(pairs, col, token)
                                                         : rs_row;
                        if (rs_col == number_status::missing) {
                            return fail(c, "line %d gives too few row-column pairs for the %d "
                                           "search cells of lake %d",
                                        row_line.line, m, lake);
                        }
                        if (rs_col != number_status::ok) {
                            return fail(c, "line %d: the search cell row or column \"%.63s\" of "
                                           "lake %d %s",
                                        row_line.line, token, lake, number_status_words(rs_col));
                        }
                        ++p;
                        if (row < 1 || row > rs.rows || col < 1 || col > rs.cols ||
                            rs.mask == nullptr || rs.mask[row][col] < 1 || rs.mask[row][col] > rs.GNUM) {
                            return fail(c, "search cell %d of lake %d (row %d, column %d, line %d) "
                                           "is not a cell of the watershed",
                                        p, lake, row, col, row_line.line);
                        }
                        rs.lake_search[lk][1][ix(p)] = row;
                        rs.lake_search[lk][2][ix(p)] = col;
                    }
                }
                break;
            }
        }
    }

    const double area = rs.cell_size * rs.cell_size;
    const bool gw_cells = rs.gw_simulation && rs.gwbound.size() > ix(rs.GNUM);
    for (int k = 1; k <= n; ++k) {
        const size_t lk = ix(k);
        chan_say("Minimum Water Surface Elevation Lake #%d: %.2lf\n", k, rs.lake_minwse[lk]);
        chan_say("Initial Water Surface Elevation Lake #%d: %.2lf\n", k, rs.lake_initwse[lk]);
        chan_say("Maximum Water Surface Elevation Lake #%d: %.2lf\n", k, rs.lake_maxwse[lk]);
        chan_say("number of coords for lake #%d's search order: %d\n", k, rs.lake_numpts[lk]);
        const bool losses = rs.mlake_given && rs.calc_loss[lk];
        if (losses) {
            chan_say("Simulating Lake Losses for Lake #%d, Bed Thickness: %.1lf m\n", k, rs.Mlake[lk]);
        }
        rs.lake_volume[lk] = 0.0;
        rs.lake_cells[lk] = 0;
        rs.lake_in_dv[lk] = rs.lake_out_dv[lk] = 0.0;
        for (int p = 1; p <= rs.lake_numpts[lk]; ++p) {
            const int cell = rs.mask[rs.lake_search[lk][1][ix(p)]][rs.lake_search[lk][2][ix(p)]];
            if (rs.elevation.size() <= ix(cell)) continue;
            const double ground = rs.elevation[ix(cell)];
            if (rs.lake_initwse[lk] > ground + kLakeCellMargin) {
                ++rs.lake_cells[lk];
                rs.lake_volume[lk] += (rs.lake_initwse[lk] - ground) * area;
                rs.lake_mask[ix(cell)] = k;
                if (losses && gw_cells) rs.gwbound[ix(cell)] = 7;
            }
        }
        // The cells flooded at set-up lead the search order, so the lake holds
        // the first lake_cells search positions (kept order otherwise).
        auto& order = rs.lake_search[lk];
        std::vector<int> rows, cols, later_rows, later_cols;
        for (int p = 1; p <= rs.lake_numpts[lk]; ++p) {
            const int row = order[1][ix(p)], col = order[2][ix(p)];
            const bool flooded = rs.lake_mask[ix(rs.mask[row][col])] == k;
            (flooded ? rows : later_rows).push_back(row);
            (flooded ? cols : later_cols).push_back(col);
        }
        rows.insert(rows.end(), later_rows.begin(), later_rows.end());
        cols.insert(cols.end(), later_cols.begin(), later_cols.end());
        for (size_t p = 0; p < rows.size(); ++p) {
            order[1][p + 1] = rows[p];
            order[2][p + 1] = cols[p];
        }
        rs.lake_elev[lk] = rs.lake_initwse[lk];
        rs.prevlake_volume[lk] = rs.lake_volume_last_chan[lk] = rs.lake_volume[lk];
        rs.lake_area[lk] = rs.lake_cells[lk] * area;
    }
    return true;
}

void chan_reader::keep_connections_as_read() {
    rs.og_ndep = rs.ndep;
    rs.og_dslink = rs.dslink;
    rs.og_lytpe = rs.ltype;
    rs.og_uslinks = rs.uslinks;
}

// Grid-stream reader state.
struct gst_reader {
    run_state& rs;
    std::string file;
    gst_reader(run_state& r, const char* name) : rs(r), file(name ? name : "") {}

    // Message naming the file and line; raises code 4000 and gives 0.
    int fail(int line, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        char text[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        chan_say("\nError in the grid-stream file %s, line %d:\n  %s\n", file.c_str(), line, text);
        chan_fail();
        return 0;
    }
    // The next value of a card as a whole number; anything else fails naming
    // the line, the value's name and the token. 1 when read.
    int whole(char* v, int line, int& out, const char* what) {
        char token[kTokenSize];
        const number_status status = next_checked_int(v, out, token);
        if (status == number_status::ok) return 1;
        if (status == number_status::missing) return fail(line, "the %s is missing", what);
        return fail(line, "the %s \"%.63s\" %s", what, token, number_status_words(status));
    }
};

}  // namespace

void alloc_lake_search(run_state& rs, int lakes, int points) {
    rs.lake_search.assign(ix(lakes) + 2, std::vector<std::vector<int>>(4, std::vector<int>(ix(points) + 1, 0)));
}

void alloc_stream_pointsource(run_state& rs) {
    rs.stream_pointsource.assign(ix(rs.maxnodes) + 2, ix(rs.links) + 2, nullptr);
}

void alloc_stream_pumps(run_state& rs) {
    rs.stream_pumps.assign(ix(rs.maxnodes) + 2, ix(rs.links) + 2, nullptr);
}

chan_pump* read_chan_pump(run_state& rs, char* line, int link, int link_type) {
    chan_pump p;
    // The two integers were checked by the reader before the pump is built.
    char token[kTokenSize];
    next_checked_int(line, p.value_a, token);
    next_checked_int(line, p.value_b, token);
    if (link_type == kLtTrapezoid) p.value_b = 1;
    char type[kTokenSize], name[kTokenSize];
    next_word(line, type);
    next_word(line, name);
    if (std::strncmp(type, "ELEV", 4) == 0) {
        p.is_time_series = 0;
        p.es = find_elevation_series(name);
    } else if (std::strncmp(type, "TS", 2) == 0) {
        p.is_time_series = 1;
        p.ts = find_time_series(name);
    } else {
        chan_say("\n\nError in the channel input file: Flow type for pump is incorrectly\ndefined "
                 "for link %d. Must be ELEV or TS.\n",
                 link);
        chan_fail();
        return nullptr;
    }
    rs.chan_pumps.push_front(p);
    return &rs.chan_pumps.front();
}

int read_grid_stream_file(run_state& rs, file_object& f) {
    gst_reader g(rs, f.name);
    std::string first;
    std::vector<chan_card> cards;
    const bool loaded = load_cards(f, first, cards);
    char word[kTokenSize] = {};
    {
        std::vector<char> copy(first.begin(), first.end());
        copy.push_back('\0');
        next_word(copy.data(), word);
    }
    // Without its header word the file is no grid-stream file: running on
    // without it would drop every stream cell and all lateral inflow.
    if (!loaded || std::strcmp(word, "GRIDSTREAMFILE") != 0) {
        return g.fail(1, "the file must begin with the word GRIDSTREAMFILE (its first word is "
                         "\"%.100s\")", word);
    }
    text_line buffer;
    auto values = [&](const chan_card& c) {
        buffer.assign(c.rest.c_str());
        return buffer.data();
    };
    if (cards.empty() || cards[0].code != kChanStreamcells) {
        chan_say("\nError in the grid-stream file %s:\n", g.file.c_str());
        chan_say("The second card in the grid-stream file must be STREAMCELLS\n");
        chan_say("File format error, program terminating.\n");
        chan_fail();
        return 0;
    }
    int n = 0;
    if (!g.whole(values(cards[0]), cards[0].line, n, "number of stream cells")) return 0;
    if (n < 1) {
        chan_say("\nError in the grid-stream file %s:\n", g.file.c_str());
        chan_say("The number of STREAMCELLS in the grid-stream (.gst) file\n");
        chan_say("must be greater than 0.  File format error, program terminating\n");
        chan_fail();
        return 0;
    }
    if (n > rs.GNUM) {
        return g.fail(cards[0].line, "STREAMCELLS %d is more than the %d cells of the watershed", n,
                      rs.GNUM);
    }
    rs.num_stream_cells = n;
    // A segment is a LINKNODE card: no count may promise more than the file holds.
    const long linknode_cards = std::count_if(cards.begin(), cards.end(),
                                              [](const chan_card& c) { return c.code == kChanLinknode; });
    // Segment counts from the NUMNODES cards, in order.
    std::vector<int> segments(ix(n) + 1, 0);
    int counted = 0, widest = 0;
    for (size_t i = 1; i < cards.size(); ++i) {
        if (cards[i].code != kChanNumnodes) continue;
        int m = 0;
        if (!g.whole(values(cards[i]), cards[i].line, m, "NUMNODES count")) return 0;
        if (++counted > n) {
            return g.fail(cards[i].line, "more NUMNODES cards than the %d STREAMCELLS", n);
        }
        if (m < 1) return g.fail(cards[i].line, "NUMNODES %d; a stream cell needs at least 1 segment", m);
        if (m > linknode_cards) {
            return g.fail(cards[i].line, "NUMNODES %d is more than the %ld LINKNODE cards of the file",
                          m, linknode_cards);
        }
        segments[ix(counted)] = m;
        widest = std::max(widest, m);
    }
    if (counted < n) {
        return g.fail(cards.back().line, "%d NUMNODES cards for %d STREAMCELLS", counted, n);
    }
    rs.gst_max_segments = widest;
    rs.gst_ncellsingrid = segments;
    const size_t S = ix(n) + 1, W = ix(widest) + 1;
    rs.gst_link.assign(S, std::vector<int>(W, 0));
    rs.gst_node.assign(S, std::vector<int>(W, 0));
    rs.gst_gnum.assign(S, std::vector<int>(W, 0));
    rs.gst_pct.assign(S, std::vector<double>(W, 0.0));
    rs.gst_sac_weight.assign(S, std::vector<double>(W, 0.0));
    rs.gst_Vlat.assign(S, std::vector<double>(W, 0.0));
    // The cell blocks: CELLIJ opens the next stream cell, LINKNODE cards fill its segments.
    int cell = 0, segment = 0, gnum = 0;
    for (size_t i = 1; i < cards.size(); ++i) {
        const chan_card& c = cards[i];
        if (c.code == kChanCellij) {
            if (cell > 0 && segment < segments[ix(cell)]) {
                return g.fail(c.line, "stream cell %d has %d LINKNODE cards for NUMNODES %d", cell,
                              segment, segments[ix(cell)]);
            }
            if (++cell > n) return g.fail(c.line, "more CELLIJ cards than the %d STREAMCELLS", n);
            char* v = values(c);
            int row = 0, col = 0;
            if (!g.whole(v, c.line, row, "CELLIJ row") || !g.whole(v, c.line, col, "CELLIJ column"))
                return 0;
            if (row < 1 || row > rs.rows || col < 1 || col > rs.cols || rs.mask == nullptr) {
                return g.fail(c.line, "CELLIJ row %d column %d lies outside the %d x %d grid", row,
                              col, rs.rows, rs.cols);
            }
            gnum = rs.mask[row][col];
            if (gnum < 1 || gnum > rs.GNUM) {
                return g.fail(c.line, "CELLIJ row %d column %d is not a cell of the watershed (cell "
                              "number %d, cells 1..%d)", row, col, gnum, rs.GNUM);
            }
            segment = 0;
        } else if (c.code == kChanLinknode) {
            if (cell == 0) return g.fail(c.line, "LINKNODE comes before any CELLIJ card");
            if (++segment > segments[ix(cell)]) {
                return g.fail(c.line, "stream cell %d has more LINKNODE cards than its NUMNODES %d",
                              cell, segments[ix(cell)]);
            }
            char* v = values(c);
            int link = 0, node = 0;
            double pct = 0.0;
            char token[kTokenSize];
            if (!g.whole(v, c.line, link, "LINKNODE link") ||
                !g.whole(v, c.line, node, "LINKNODE node"))
                return 0;
            const number_status status = next_checked_double(v, pct, token);
            if (status == number_status::missing) {
                return g.fail(c.line, "LINKNODE needs a link, a node and a fraction");
            }
            if (status != number_status::ok) {
                return g.fail(c.line, "the LINKNODE fraction \"%.63s\" %s", token,
                              number_status_words(status));
            }
            if (link < 1 || link > rs.links) {
                return g.fail(c.line, "LINKNODE link %d is outside the links 1..%d", link, rs.links);
            }
            if (node < 1 || node > rs.nx[ix(link)]) {
                return g.fail(c.line, "LINKNODE node %d is outside the nodes 1..%d of link %d",
                              node, rs.nx[ix(link)], link);
            }
            rs.gst_link[ix(cell)][ix(segment)] = link;
            rs.gst_node[ix(cell)][ix(segment)] = node;
            rs.gst_gnum[ix(cell)][ix(segment)] = gnum;
            rs.gst_pct[ix(cell)][ix(segment)] = pct;
        }
    }
    if (cell < n || (cell > 0 && segment < segments[ix(cell)])) {
        return g.fail(cards.back().line, "the file ends after %d of %d stream cells", cell, n);
    }
    chan_status(rs, "Finished reading non-orthogonal channel information from gst file.\n");
    return 1;
}

int read_chan_input(run_state& rs, file_object& f) {
    // Counts gathered over the file start from zero.
    rs.links = rs.maxnodes = 0;
    rs.max_npairs = rs.max_num_interp = rs.max_uslinks = 0;
    rs.num_struct_elements = rs.num_bp_erode_links = rs.num_xsec_tables = 0;
    rs.mlake_given = 0;
    rs.channel_lakes = rs.num_channel_lakes = 0;
    rs.chan_pumps.clear();
    chan_reader r(rs, f.name);
    std::string first;
    const bool loaded = load_cards(f, first, r.cards);
    char word[kTokenSize] = {};
    {
        std::vector<char> copy(first.begin(), first.end());
        copy.push_back('\0');
        next_word(copy.data(), word);
    }
    if (!loaded || std::strlen(word) < 10 || strncasecmp(word, "pluvo_chan", 10) != 0) {
        chan_say("\nError: the channel input file %s does not begin with the header word "
                 "pluvo_chan (its first word is \"%s\"); no channel network was read.\n",
                 r.file.c_str(), word);
        chan_fail();
        return 0;
    }
    if (!r.header_pass()) return 0;
    r.allocate_link_arrays();
    if (!r.counting_pass() || !r.check_links()) return 0;
    r.print_summary();
    if (!r.check_limits() || !r.size_sections()) return 0;
    r.allocate_node_arrays();
    if (!r.connection_pass() || !r.node_pass()) return 0;
    r.river_bed();
    if (!r.trapezoid_sections() || !r.breakpoint_pass() || !r.finish_nodes()) return 0;
    if (rs.stream_cell_on && rs.stream_cell_file.is_open()) {
        if (!read_grid_stream_file(rs, rs.stream_cell_file)) return 0;
    }
    if (r.lakes > 0) {
        if (!r.lake_pass()) return 0;
        r.keep_connections_as_read();
    }
    return rs.mlake_given;
}
