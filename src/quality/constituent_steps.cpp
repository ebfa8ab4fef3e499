#include "quality/constituent_steps.h"
#include "run/run_state.h"
