// Refusal of processes that this version cannot simulate yet: a project that
// asks for one stops before any file is opened, with a message naming the
// card, instead of running without it.
#pragma once

struct run_state;

// The features asked for by the project's cards that are not built, in
// checking order (for tests): card keyword and what it asks for.
struct unbuilt_feature {
    const char* card;                   // project card that asks for it
    const char* what;                   // the process or output it asks for
    bool (*asked)(const run_state& rs); // true when the project asks for it
};
const unbuilt_feature* unbuilt_features(int* count);

// Sets code 4000 after printing the message of the first feature asked for.
void check_features_built(run_state& rs);
