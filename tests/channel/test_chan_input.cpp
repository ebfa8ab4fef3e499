// The channel input file reader: the network it builds, its summary, its
// refusals of bad files, and the grid-stream file.
#include "channel_test_support.h"

#include "channel/channel_records.h"
#include "channel/chan_keywords.h"

namespace {

using chan_test::ChannelTest;
using chan_test::replaced;
using chan_test::three_link_file;

TEST(ChanKeyword, WholeWordCaseInsensitiveAndRemovedFromTheLine) {
    struct row {
        const char* line;
        int code;
        const char* rest;
    };
    const row rows[] = {
        {"  link 7", kChanLink, " 7"},
        {"\tLINKS 3", kChanLinks, " 3"},
        {"Trapezoid_Subsurface", kChanSubsurfaceTrapezoid, ""},
        {"K_RIVER 1e-6", kChanKRiver, " 1e-6"},
        {"LINKAGE 3", kChanNone, "LINKAGE 3"},   // a longer word is no keyword
        {"LIN 3", kChanNone, "LIN 3"},
        {"", kChanNone, ""},
        {"X1,0.5 2", kChanNone, "X1,0.5 2"},     // the comma does not end a keyword
    };
    for (const row& r : rows) {
        char line[64];
        std::snprintf(line, sizeof(line), "%s", r.line);
        EXPECT_EQ(chan_keyword_code(line), r.code) << r.line;
        EXPECT_STREQ(line, r.rest) << r.line;
    }
}

TEST_F(ChannelTest, ThreeLinkNetworkIsBuiltAndEchoed) {
    ASSERT_TRUE(read_channel(three_link_file())) << out_;
    run_state& r = rs();
    EXPECT_EQ(r.links, 3);
    EXPECT_EQ(r.maxnodes, 4);
    EXPECT_EQ(r.ltype, (std::vector<int>{0, 4, 4, 8}));
    EXPECT_EQ(r.nx1, (std::vector<int>{0, 4, 3, 3}));
    EXPECT_EQ(r.nx, (std::vector<int>{0, 3, 2, 2}));
    EXPECT_EQ(r.dslink, (std::vector<int>{0, 3, 3, 0}));
    EXPECT_EQ(r.ndep, (std::vector<int>{0, 0, 0, 2}));
    EXPECT_EQ(r.uslinks[3][1], 1);
    EXPECT_EQ(r.uslinks[3][2], 2);
    EXPECT_DOUBLE_EQ(r.inv_n[1], 1.0 / 0.035);
    EXPECT_DOUBLE_EQ(r.dx[3], 20.0);
    // Node beds are the means of neighbouring points; the water stands at the bed.
    EXPECT_DOUBLE_EQ(r.bel[1][1], 103.5);
    EXPECT_DOUBLE_EQ(r.bel[3][1], 101.5);
    EXPECT_DOUBLE_EQ(r.bel[2][3], 99.5);
    EXPECT_DOUBLE_EQ(r.yp[2][3], 99.5);
    EXPECT_DOUBLE_EQ(r.lnx[1][1], 5.0);
    EXPECT_DOUBLE_EQ(r.lny[1][1], 15.0);
    // The XSEC node's trapezoid on every point of its link.
    for (int k = 1; k <= 4; ++k) {
        EXPECT_DOUBLE_EQ(r.bottom[k][1], 2.0);
        EXPECT_DOUBLE_EQ(r.sslope[k][1], 1.5);
        EXPECT_DOUBLE_EQ(r.bankfull_dep[k][1], 1.2);
    }
    EXPECT_DOUBLE_EQ(r.sslope[3][2], 2.0);
    // The V-shaped section: one table for every node of link 3.
    EXPECT_EQ(r.num_xsec_tables, 1);
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(r.table_num[k][3], 1);
    EXPECT_EQ(r.numhts[1], 2);
    EXPECT_DOUBLE_EQ(r.ht_spc[1], 1.0);
    EXPECT_DOUBLE_EQ(r.xtw[1][1], 1.0);
    EXPECT_DOUBLE_EQ(r.xarea[1][1], 0.5);
    EXPECT_DOUBLE_EQ(r.xp[1][1], 2.0 * std::sqrt(1.25));
    EXPECT_DOUBLE_EQ(r.xk[1][1], r.inv_n[3] * 0.5 * std::pow(0.5 / (2.0 * std::sqrt(1.25)), 2.0 / 3.0));
    EXPECT_DOUBLE_EQ(r.xtw[2][1], 2.0);
    EXPECT_DOUBLE_EQ(r.xarea[2][1], 2.0);

    for (const char* line : {"\n\nChannel input data:\n",
                             "  max. number of u.s. dependencies:      2\n",
                             "  number of trapezoidal links:           2\n",
                             "    num w/ subsurface attribute:           0\n",
                             "  number of breakpoint links:            1\n",
                             "    max number of xsec in any bp link:     1\n",
                             "    max number of xsec pairs:              3\n",
                             "  number of lake links:                  0\n",
                             "  number of hydraulic structure links:   0\n",
                             "    total no. of hydr. structure elements: 0\n",
                             "  number of groundwater links:           0\n",
                             "Reading and interpolating break-point cross-sections .\n"}) {
        EXPECT_NE(out_.find(line), std::string::npos) << line << "\n---\n" << out_;
    }
    EXPECT_EQ(r.num_channel_lakes, 0);
    EXPECT_TRUE(r.og_ndep.empty());   // no lakes: no copies as read
    EXPECT_TRUE(r.lake2link.empty());
}

TEST_F(ChannelTest, QuietSummaryStaysOffTheConsoleButTheDotsDoNot) {
    rs().quiet_card = 1;
    ASSERT_TRUE(read_channel(three_link_file())) << out_;
    EXPECT_EQ(out_.find("Channel input data:"), std::string::npos) << out_;
    EXPECT_NE(out_.find(".\n"), std::string::npos) << out_;
}

TEST_F(ChannelTest, HeaderWordIsACaseInsensitivePrefix) {
    const std::string body = three_link_file().substr(std::string("PLUVO_CHAN\n").size());
    for (const char* header : {"pluvo_chan\n", "Pluvo_Chan_v2 file\n"}) {
        error_record = error_info{};
        ASSERT_TRUE(read_channel(header + body)) << header << out_;
        EXPECT_EQ(rs().links, 3) << header;
    }
}

TEST_F(ChannelTest, KindCardsAndAttributesSetTheTypeBits) {
    struct row {
        const char* cards;
        int type;
    };
    const row rows[] = {
        {"TRAPEZOID\nSUBSURFACE\n", 5},
        {"TRAP_ERODE\nERODIBLE\n", 6},           // the bit is set once
        {"SUBSURFACE_TRAP_ERODE\n", 7},
        {"TRAPEZOID_ERODE\nSUBSURFACE\nERODE\n", 7},
    };
    for (const row& r : rows) {
        error_record = error_info{};
        const std::string text = replaced(three_link_file(), "TRAPEZOID\nMANNINGS_N 0.035\n",
                                          std::string(r.cards) + "MANNINGS_N 0.035\nK_RIVER 1e-6\n");
        ASSERT_TRUE(read_channel(text)) << r.cards << out_;
        EXPECT_EQ(rs().ltype[1], r.type) << r.cards;
    }
}

// Every bad file is refused with a message naming the file; nothing goes on.
TEST_F(ChannelTest, BadChannelFilesAreRefusedWithAMessageNamingTheFile) {
    const std::string good = three_link_file();
    struct row {
        const char* what;
        std::string text;
        const char* message;
    };
    const row rows[] = {
        {"wrong header word", replaced(good, "PLUVO_CHAN", "chan"), "header word pluvo_chan"},
        {"missing link count", replaced(good, "LINKS 3", "LINKS"), "number of links is missing"},
        {"zero links", replaced(good, "LINKS 3", "LINKS 0"), "must be at least 1"},
        {"missing MAXNODES card", replaced(good, "MAXNODES 4\n", ""), "Premature end-of-file"},
        {"LINK beyond LINKS", replaced(good, "LINK 2\n", "LINK 4\n"), "link 4 is outside the links 1..3"},
        {"downstream link beyond LINKS", replaced(good, "CONNECT 1 3 0", "CONNECT 1 9 0"),
         "downstream link 9"},
        {"upstream link beyond LINKS", replaced(good, "CONNECT 3 0 2 1 2", "CONNECT 3 0 2 1 7"),
         "upstream link 7 is outside"},
        {"NODE beyond NODES", replaced(good, "NODE 4\nELEV 101.0", "NODE 5\nELEV 101.0"),
         "node 5 of link 1 is outside the link's NODES 1..4"},
        {"NODES beyond MAXNODES", replaced(good, "\nNODES 4", "\nNODES 6"), "MAXNODES 4 allows 1..5"},
        {"missing CONNECT card", replaced(good, "CONNECT 2 3 0\n", ""), "3 links, and 2 CONNECT cards"},
        {"missing MANNINGS_N", replaced(good, "MANNINGS_N 0.05\n", ""), "no MANNINGS_N card"},
        {"zero MANNINGS_N", replaced(good, "MANNINGS_N 0.05", "MANNINGS_N 0"),
         "Manning's Roughness is 0.000"},
        {"trapezoid without XSEC", replaced(good, "XSEC\nBOTTOM_WIDTH 1.0", "BOTTOM_WIDTH 1.0"),
         "Cross section parameters not found for link 2"},
        {"flat trapezoid", replaced(good, "SIDE_SLOPE 2.0", "SIDE_SLOPE 0.0\nBOTTOM_WIDTH 0.0"),
         "not both zero"},
        {"X1 beyond NPAIRS", replaced(good, "X1 2.0 2.0\n", "X1 2.0 2.0\nX1 3.0 3.0\n"),
         "more X1 cards than the NPAIRS card specifies"},
        {"X1 short of NPAIRS", replaced(good, "X1 2.0 2.0\n", ""), "incomplete"},
        {"no NUM_INTERP", replaced(good, "NUM_INTERP 2\n", ""), "number of interpolation points has not been specified"},
        {"step too fine", replaced(good, "NUM_INTERP 2", "NUM_INTERP 30001"),
         "number of interpolation points [30001] for table 1 in link 3 is invalid"},
        {"link without a kind", replaced(good, "BREAKPOINT\n", ""), "no link kind card"},
        // A pump on the break-point link keeps its node: it must be a node of the pump link.
        {"pump node beyond the pump link's nodes",
         replaced(good, "NODE 2\nELEV 100.0\n", "NODE 2\nELEV 100.0\nPUMPTO 2 4 TS q\n"),
         "pump node 4 is outside the nodes 1..3 of link 2"},
        {"pump node zero", replaced(good, "NODE 2\nELEV 100.0\n", "NODE 2\nELEV 100.0\nPUMPTO 2 0 TS q\n"),
         "pump node 0 is outside the nodes 1..3 of link 2"},
        // Counts that would size arrays beyond what the file can hold.
        {"NPAIRS beyond the file", replaced(good, "NPAIRS 3", "NPAIRS 2000000000"),
         "NPAIRS 2000000000 is more pairs than the 8 lines after it"},
        {"NUM_INTERP beyond the table limit", replaced(good, "NUM_INTERP 2", "NUM_INTERP 2000000000"),
         "NUM_INTERP 2000000000 gives section tables of"},
        {"NUMPTS beyond the file",
         replaced(replaced(good, "NODES 3\nTRAPEZOID\nMANNINGS_N 0.05\n",
                           "NODES 1\nLAKE\nNUMPTS 2000000000\n1 1\n"),
                  "XSEC\nBOTTOM_WIDTH 1.0\nSIDE_SLOPE 2.0\nNODE 2\nELEV 102.0\nNODE 3\nELEV 101.0\n", ""),
         "NUMPTS 2000000000 is more search cells than the"},
        // Every node of a channel link is described exactly once.
        {"node left out", replaced(good, "NODE 3\nELEV 102.0\nNODE 4\n", "NODE 4\n"),
         "node 3 of link 1 has no NODE card: every node 1..4 of the link"},
        {"node given twice", replaced(good, "NODE 3\nELEV 102.0\nNODE 4\n", "NODE 3\nELEV 102.0\nNODE 3\n"),
         "node 3 of link 1 is described twice: its first NODE card is on line"},
        {"negative erosion depth", replaced(good, "NODE 3\nELEV 102.0\n", "NODE 3\nELEV 102.0\nMAX_EROSION -0.3\n"),
         "the erosion depth -0.3 is outside its range: it must be at least 0"},
        {"bed far above any ground", replaced(good, "ELEV 102.0", "ELEV 1e308"),
         "the bed elevation 1e308 is outside its range"},
        {"node number that is no number", replaced(good, "NODE 3\n", "NODE three\n"),
         "the node number \"three\" is not a number"},
        {"too many upstream links",
         replaced(good, "CONNECT 3 0 2 1 2",
                  "CONNECT 3 0 21 1 2 1 2 1 2 1 2 1 2 1 2 1 2 1 2 1 2 1 2 1 2 1"),
         "maximum number of upstream dependencies"},
    };
    for (const row& r : rows) {
        error_record = error_info{};
        EXPECT_FALSE(read_channel(r.text)) << r.what;
        EXPECT_NE(out_.find(r.message), std::string::npos) << r.what << "\n---\n" << out_;
        EXPECT_NE(out_.find("network.chan"), std::string::npos) << r.what << "\n---\n" << out_;
    }
}

TEST_F(ChannelTest, CardsBeforeTheLastConnectTakeNoEffect) {
    // A node card placed among the CONNECT cards is not read by the node pass.
    const std::string text = replaced(three_link_file(), "CONNECT 2 3 0\n",
                                      "LINK 1\nNODE 1\nELEV 500.0\nCONNECT 2 3 0\n");
    ASSERT_TRUE(read_channel(text)) << out_;
    EXPECT_DOUBLE_EQ(rs().bel[1][1], 103.5);
}

// Cards placed among the header cards take no effect in any pass, as in the
// counting pass that sizes the arrays: neither a CONNECT card with more
// upstream links than any later one nor an MLAKE card ahead of every lake.
TEST_F(ChannelTest, CardsAmongTheHeaderCardsTakeNoEffect) {
    std::string lake = replaced(three_link_file(), "NODES 3\nTRAPEZOID\nMANNINGS_N 0.05\n",
                                "NODES 1\nLAKE\nMINWSE 99.0\nINITWSE 100.2\nMAXWSE 101.0\n"
                                "NUMPTS 1\n1 1\n");
    lake = replaced(lake, "XSEC\nBOTTOM_WIDTH 1.0\nSIDE_SLOPE 2.0\nNODE 2\nELEV 102.0\nNODE 3\n"
                          "ELEV 101.0\n", "");
    struct row {
        const char* what;
        std::string text;
        int lakes;
    };
    const row rows[] = {
        {"CONNECT with five upstream links",
         replaced(three_link_file(), "BETA 1.0\n", "CONNECT 3 0 5 1 2 1 2 1\nBETA 1.0\n"), 0},
        {"MLAKE before the lake", replaced(lake, "BETA 1.0\n", "MLAKE 2.0\nBETA 1.0\n"), 1},
    };
    for (const row& r : rows) {
        error_record = error_info{};
        ASSERT_TRUE(read_channel(r.text)) << r.what << "\n" << out_;
        EXPECT_EQ(rs().ndep[3], 2) << r.what;
        EXPECT_EQ(rs().uslinks[3], (std::vector<int>{0, 1, 2})) << r.what;
        EXPECT_EQ(rs().num_channel_lakes, r.lakes) << r.what;
        EXPECT_EQ(rs().mlake_given, 0) << r.what;
    }
}

TEST_F(ChannelTest, LastXsecNodeGivesTheTrapezoidOfTheLink) {
    const std::string text = replaced(three_link_file(), "NODE 4\nELEV 101.0\n",
                                      "NODE 4\nELEV 101.0\nXSEC\nBOTTOM_WIDTH 7.0\nSIDE_SLOPE 0.5\n");
    ASSERT_TRUE(read_channel(text)) << out_;
    for (int k = 1; k <= 4; ++k) {
        EXPECT_DOUBLE_EQ(rs().bottom[k][1], 7.0);
        EXPECT_DOUBLE_EQ(rs().sslope[k][1], 0.5);
    }
}

// Link 1 of the three-link file becomes a structure link with the given element cards.
std::string structure_file(const std::string& elements, int numstructs) {
    std::string text = replaced(three_link_file(),
                                "NODES 4\nTRAPEZOID\nMANNINGS_N 0.035\n",
                                "STRUCTURE\nNUMSTRUCTS " + std::to_string(numstructs) + "\n" +
                                    elements);
    // The structure's two points carry only beds.
    text = replaced(text, "NODE 3\nELEV 102.0\nNODE 4\nELEV 101.0\n", "");
    return text;
}

TEST_F(ChannelTest, StructureElementsAreReadIntoTheirRecords) {
    const std::string elements =
        "STRUCTTYPE Weir_2\nCREST_LENGTH 4.5\nCREST_LOW_ELEV 101.2\nDISCHARGE_COEFF_FORWARD 1.6\n"
        "STRUCTTYPE round_culvert\nDIAMETER 0.9\nLENGTH 12.0\nUPINVERT 100.4\nDOWNINVERT 100.1\n"
        "SLOPE 0.025\nINLET_DISCH_COEFF 0.6\nREV_FLOW_DISCH_COEFF 0.55\nROUGH_COEFF 0.013\n";
    ASSERT_TRUE(read_channel(structure_file(elements, 2))) << out_;
    run_state& r = rs();
    EXPECT_EQ(r.ltype[1], 64);
    EXPECT_EQ(r.nx1[1], 2);
    EXPECT_EQ(r.nx[1], 2);
    EXPECT_EQ(r.num_struct_elements, 2);
    ASSERT_EQ(r.link_structures.size(), 4u);
    EXPECT_EQ(r.link_structures[1].numstructs, 2);
    EXPECT_EQ(r.link_structures[1].first, 1);
    EXPECT_EQ(r.link_structures[1].last, 2);
    EXPECT_EQ(r.link_structures[2].first, 10000);   // a link without elements
    EXPECT_EQ(r.link_structures[2].last, 0);
    const hydraulic_structure& weir = r.structures[1];
    EXPECT_EQ(weir.structtype, kStructWeir);
    EXPECT_DOUBLE_EQ(weir.length, 4.5);
    EXPECT_DOUBLE_EQ(weir.upinvert, 101.2);
    EXPECT_DOUBLE_EQ(weir.fwd_coeff, 1.6);
    const hydraulic_structure& culvert = r.structures[2];
    EXPECT_EQ(culvert.structtype, kStructRoundCulvert);
    EXPECT_DOUBLE_EQ(culvert.width, 0.9);
    EXPECT_DOUBLE_EQ(culvert.length, 12.0);
    EXPECT_DOUBLE_EQ(culvert.downinvert, 100.1);
    EXPECT_DOUBLE_EQ(culvert.slope, 0.025);
    EXPECT_DOUBLE_EQ(culvert.rev_coeff, 0.55);
    EXPECT_DOUBLE_EQ(culvert.roughness, 0.013);
    // A structure's nodes are its points: their beds are kept as given.
    EXPECT_DOUBLE_EQ(r.bel[1][1], 104.0);
    EXPECT_DOUBLE_EQ(r.bel[2][1], 103.0);
}

TEST_F(ChannelTest, StructureFailuresRaiseTheirCodes) {
    struct row {
        const char* what;
        std::string elements;
        int numstructs;
        int code;             // code left for the driver (0: reported already)
        const char* message;  // printed by the reader ("" none)
    };
    const row rows[] = {
        {"unknown type breaks the balance", "STRUCTTYPE orifice\nWIDTH 1.0\n", 1, 0,
         "The sum of NUMSTRUCTS arguments is 1, while the total number"},
        {"rating curve without a name", "STRUCTTYPE rating_curve\n", 1, 85, ""},
        {"rating curve not found", "STRUCTTYPE RATING_CURVE nosuch\n", 1, 86, ""},
        {"release without a name", "STRUCTTYPE scheduled_release\n", 1, 87, ""},
        {"release not found", "STRUCTTYPE scheduled_release nosuch\n", 1, 88, ""},
        {"rule curve not found", "STRUCTTYPE rule_curve nosuch\n", 1, 90, ""},
    };
    for (const row& r : rows) {
        error_record = error_info{};
        EXPECT_FALSE(read_channel(structure_file(r.elements, r.numstructs))) << r.what;
        EXPECT_EQ(error_record.code, r.code) << r.what;
        EXPECT_NE(out_.find(r.message), std::string::npos) << r.what << "\n" << out_;
    }
}

TEST_F(ChannelTest, LakeLinkReadsItsSearchOrderAndInitialVolume) {
    // Link 2 becomes lake 1 over a 3 x 4 grid of 10 m cells; NUMPTS 12 reads ten
    // pairs from its first line and two from the next.
    set_grid(3, 4, 100.0);
    rs().elevation[5] = 99.0;   // row 2, column 1
    rs().elevation[6] = 99.5;   // row 2, column 2
    rs().elevation[12] = 100.5; // row 3, column 4: above the lake
    const std::string lake =
        "LAKE\nMLAKE 2.0\nMINWSE 99.0\nINITWSE 100.2\nMAXWSE 101.0\nNUMPTS 12\n"
        "1 1 1 2 1 3 1 4 2 1 2 2 2 3 2 4 3 1 3 2\n"
        "3 3 3 4\n";
    std::string text = replaced(three_link_file(),
                                "NODES 3\nTRAPEZOID\nMANNINGS_N 0.05\n", "NODES 1\n" + lake);
    text = replaced(text, "XSEC\nBOTTOM_WIDTH 1.0\nSIDE_SLOPE 2.0\nNODE 2\nELEV 102.0\nNODE 3\nELEV 101.0\n", "");
    ASSERT_TRUE(read_channel(text)) << out_;
    run_state& r = rs();
    EXPECT_EQ(r.ltype[2], 32);
    EXPECT_EQ(r.ldex[2], 1);
    EXPECT_EQ(r.nx[2], 1);
    EXPECT_EQ(r.channel_lakes, 1);
    EXPECT_EQ(r.num_channel_lakes, 1);
    EXPECT_EQ(r.lake2link[2], 1);
    EXPECT_EQ(r.mlake_given, 1);
    EXPECT_EQ(r.lake_numpts[1], 12);
    EXPECT_EQ(r.lake_search[1][1][11], 3);
    EXPECT_EQ(r.lake_search[1][2][12], 4);
    // 11 cells under 100.2 m: nine at 100 m, one at 99 m and one at 99.5 m.
    EXPECT_EQ(r.lake_cells[1], 11);
    const double expected = (9 * 0.2 + 1.2 + 0.7) * 100.0;
    EXPECT_NEAR(r.lake_volume[1], expected, 1e-9);
    EXPECT_DOUBLE_EQ(r.lake_area[1], 1100.0);
    EXPECT_DOUBLE_EQ(r.lake_elev[1], 100.2);
    EXPECT_EQ(r.lake_mask[12], 0);
    EXPECT_EQ(r.lake_mask[5], 1);
    EXPECT_EQ(r.og_lytpe, r.ltype);
    EXPECT_EQ(r.og_ndep, r.ndep);
    for (const char* line : {"Initial Water Surface Elevation Lake #1: 100.20\n",
                             "number of coords for lake #1's search order: 12\n",
                             "Simulating Lake Losses for Lake #1, Bed Thickness: 2.0 m\n"}) {
        EXPECT_NE(out_.find(line), std::string::npos) << line << out_;
    }

    // A search cell outside the grid is refused.
    error_record = error_info{};
    EXPECT_FALSE(read_channel(replaced(text, "3 3 3 4\n", "3 3 4 4\n")));
    EXPECT_NE(out_.find("search cell 12 of lake 1 (row 4, column 4"), std::string::npos) << out_;
    EXPECT_NE(out_.find("network.chan"), std::string::npos) << out_;
}

TEST_F(ChannelTest, PumpsAndPointSourcesBindTheirSeries) {
    time_series* s = new_time_series();
    std::snprintf(s->name, sizeof(s->name), "%s", "inflow_hydrograph");
    std::string text = replaced(three_link_file(), "NODE 3\nELEV 102.0\n",
                                "NODE 3\nELEV 102.0\nPOINTSOURCE inflow\n"
                                "PUMPTO 3 9 TS inflow_hydrograph\n");
    // A pump on the break-point link keeps its node (the last node of link 2).
    text = replaced(text, "NODE 2\nELEV 100.0\n", "NODE 2\nELEV 100.0\nPUMPTO 2 3 TS inflow\n");
    ASSERT_TRUE(read_channel(text)) << out_;
    EXPECT_EQ(rs().stream_pointsource[3][1], s);
    chan_pump* p = rs().stream_pumps[3][1];
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->is_time_series, 1);
    EXPECT_EQ(p->ts, s);
    EXPECT_EQ(p->value_a, 3);
    EXPECT_EQ(p->value_b, 1);   // a plain trapezoid link forces it to 1 (9 is no node of link 3)
    chan_pump* kept = rs().stream_pumps[2][3];
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->value_a, 2);
    EXPECT_EQ(kept->value_b, 3);

    error_record = error_info{};
    EXPECT_FALSE(read_channel(replaced(text, "TS inflow", "FLOW inflow")));
    EXPECT_NE(out_.find("Flow type for pump is incorrectly\ndefined for link 1"), std::string::npos)
        << out_;
}

const char* const kGridStream =
    "GRIDSTREAMFILE\n"
    "STREAMCELLS 2\n"
    "NUMNODES 1\n"
    "NUMNODES 2\n"
    "CELLIJ 1 2\n"
    "LINKNODE 1 1 1.0\n"
    "CELLIJ 2 3\n"
    "LINKNODE 1 2 0.4\n"
    "LINKNODE 3 1 0.6\n";

TEST_F(ChannelTest, GridStreamFileFillsTheSegments) {
    ASSERT_TRUE(read_channel(three_link_file(), kGridStream)) << out_;
    run_state& r = rs();
    EXPECT_EQ(r.num_stream_cells, 2);
    EXPECT_EQ(r.gst_ncellsingrid, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(r.gst_gnum[1][1], 2);
    EXPECT_EQ(r.gst_gnum[2][1], 7);
    EXPECT_EQ(r.gst_gnum[2][2], 7);
    EXPECT_EQ(r.gst_link[2][2], 3);
    EXPECT_EQ(r.gst_node[2][1], 2);
    EXPECT_DOUBLE_EQ(r.gst_pct[2][2], 0.6);
    EXPECT_NE(out_.find("Finished reading non-orthogonal channel information from gst file.\n"),
              std::string::npos);
}

TEST_F(ChannelTest, BadGridStreamFilesAreRefusedWithAMessageNamingTheFile) {
    const std::string good = kGridStream;
    struct row {
        const char* what;
        std::string text;
        const char* message;
    };
    const row rows[] = {
        {"second card not STREAMCELLS", replaced(good, "STREAMCELLS 2", "NUMNODES 2"),
         "The second card in the grid-stream file must be STREAMCELLS"},
        {"no stream cells", replaced(good, "STREAMCELLS 2", "STREAMCELLS 0"),
         "must be greater than 0"},
        {"more NUMNODES than cells", replaced(good, "NUMNODES 2\n", "NUMNODES 2\nNUMNODES 1\n"),
         "more NUMNODES cards than the 2 STREAMCELLS"},
        {"row beyond the grid", replaced(good, "CELLIJ 2 3", "CELLIJ 9 3"),
         "row 9 column 3 lies outside the 3 x 4 grid"},
        {"link beyond LINKS", replaced(good, "LINKNODE 3 1", "LINKNODE 4 1"),
         "link 4 is outside the links 1..3"},
        {"node beyond the link", replaced(good, "LINKNODE 1 2", "LINKNODE 1 4"),
         "node 4 is outside the nodes 1..3 of link 1"},
        {"segments beyond NUMNODES", replaced(good, "LINKNODE 1 1 1.0\n", "LINKNODE 1 1 0.5\nLINKNODE 1 2 0.5\n"),
         "more LINKNODE cards than its NUMNODES 1"},
        {"missing segment", replaced(good, "LINKNODE 3 1 0.6\n", ""), "ends after"},
        {"no header word", replaced(good, "GRIDSTREAMFILE\n", ""),
         "line 1:\n  the file must begin with the word GRIDSTREAMFILE (its first word is "
         "\"STREAMCELLS\")"},
        {"blank first line", "\n" + good, "line 1:\n  the file must begin with the word "
                                           "GRIDSTREAMFILE (its first word is \"\")"},
        {"NUMNODES beyond the file", replaced(good, "NUMNODES 2\n", "NUMNODES 2000000000\n"),
         "NUMNODES 2000000000 is more than the 3 LINKNODE cards of the file"},
    };
    for (const row& r : rows) {
        error_record = error_info{};
        EXPECT_FALSE(read_channel(three_link_file(), r.text)) << r.what;
        EXPECT_NE(out_.find(r.message), std::string::npos) << r.what << "\n---\n" << out_;
        EXPECT_NE(out_.find("network.gst"), std::string::npos) << r.what << "\n---\n" << out_;
    }
}

TEST_F(ChannelTest, CellOutsideTheWatershedIsRefused) {
    rs().mask[2][3] = 0;   // the grid position of the second stream cell is no cell
    EXPECT_FALSE(read_channel(three_link_file(), kGridStream));
    EXPECT_NE(out_.find("is not a cell of the watershed"), std::string::npos) << out_;
}

}  // namespace
