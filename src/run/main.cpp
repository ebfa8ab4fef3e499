// Program entry of pluvo.
#include "run/program.h"

int main(int argc, char** argv) {
    return program_main(argc, argv);
}
