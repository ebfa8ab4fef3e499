#include "input/input_state.h"
#include "core/alloc.h"

input_state::~input_state() {
    free_block_2d(mask);
}
