// Consistency check of the switched-on project options.
#pragma once

struct run_state;

void check_project_options(run_state& rs);
