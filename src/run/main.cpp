// Program entry of pluvo.
#include "core/parallel.h"
#include "run/program.h"

int main(int argc, char** argv) {
    wait_passively_by_default(argv);   // may execute the program again, once
    return program_main(argc, argv);
}
