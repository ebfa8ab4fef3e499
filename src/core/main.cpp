// Program entry of pluvo.
#include "core/program.h"

int main(int argc, char** argv) {
    return program_main(argc, argv);
}
