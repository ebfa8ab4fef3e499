// Tile drains: the water the aquifer gives up under the grid-pipe cells
// enters the network at the superlink's upstream junction, and each cell's
// share goes to its tile-drain volume for the groundwater step.
#include <gtest/gtest.h>

#include "sd_test_support.h"
#include "stormdrain/sd_tile.h"

using namespace sd_test;

namespace {

TEST(TileDrains, AquiferWaterEntersTheNetworkAndLeavesItsCells) {
    for (bool grade : {false, true}) {
        SCOPED_TRACE(grade);
        state_ptr rs = grid_state(1, 2, 20.0);
        rs->gw_simulation = 1;
        rs->inf_redist = 1;   // an aquifer the groundwater solver moves
        rs->elevation.assign(3, 100.0);
        rs->elevgw.assign(3, 99.6);        // water table 0.1 m above the tiles' grade
        rs->bottom_elev.assign(3, 90.0);
        rs->gw_tile_vol.assign(3, 0.0);
        sd_link s = chain(1, 2, 2, 0.1, 40.0, 0.0, 0.013, 98.5);   // level tiles
        for (int k = 1; k <= 3; ++k) s.read_nodes[static_cast<size_t>(k)].cell = k == 3 ? 2 : 1;
        for (int k = 1; k <= 2; ++k) {
            s.read_pipes[static_cast<size_t>(k)].conductivity = 3.6;   // cm/h
            s.read_pipes[static_cast<size_t>(k)].spacing = 20.0;       // m
        }
        install(*rs, {junction(98.5, 1.0), junction(97.0, 0.0, 888, 2)}, {s}, grade);
        rs->leaky_pipes = 1;
        rs->sd_pipe_cells.assign(3, std::vector<sd_pipe_share>());
        rs->sd_pipe_cells[1] = {sd_pipe_share{1, 1, 1, 1.0}};
        rs->sd_pipe_cells[2] = {sd_pipe_share{1, 2, 2, 0.5}};
        ASSERT_TRUE(setup_tile_drains(*rs));
        const double dt = 60.0;
        exchange_tile_drains(*rs, dt);
        ASSERT_EQ(error_record.code, 0);
        double pipes = 0.0;
        for (const sd_pipe& p : rs->sd_links[1].pipes) pipes += p.tile_flow;
        EXPECT_GT(rs->gw_tile_vol[1], 0.0);
        EXPECT_GT(rs->gw_tile_vol[2], 0.0);
        // Half as much tile under cell 2 (same head, spacing and pipe): half the water.
        EXPECT_NEAR(rs->gw_tile_vol[2], 0.5 * rs->gw_tile_vol[1], 1e-12);
        EXPECT_NEAR(pipes * dt, rs->gw_tile_vol[1] + rs->gw_tile_vol[2], 1e-15);
        ASSERT_EQ(superlink_step(*rs, dt), 0);
        EXPECT_NEAR(rs->superlink_tally.tile, rs->gw_tile_vol[1] + rs->gw_tile_vol[2], 1e-15);
        // A water table below the grade gives nothing; neither does an aquifer that is not solved.
        rs->elevgw.assign(3, 98.0);
        exchange_tile_drains(*rs, dt);
        for (const sd_pipe& p : rs->sd_links[1].pipes) EXPECT_EQ(p.tile_flow, 0.0);
        rs->elevgw.assign(3, 99.6);
        rs->inf_redist = 0;
        exchange_tile_drains(*rs, dt);
        for (const sd_pipe& p : rs->sd_links[1].pipes) EXPECT_EQ(p.tile_flow, 0.0);
    }
}

}  // namespace
