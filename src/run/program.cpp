#include "run/program.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "calibration/calibration.h"
#include "run/run_model.h"
#include "core/run_options.h"
#include "core/file_object.h"
#include "core/text.h"

static const char kUsageText[] =
    "\nUsage: pluvo [-option] [inputfile]\n\n where -option is one of:\n"
    "      -c = SCE calibration mode (input file is the calibration control file)\n"
    "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
    "      -b = batch mode (input file is the batch control file)\n"
    "      -s = sensitivity mode (input file is the sensitivity control file)\n"
    "      -v = display version information (no project will be run)\n"
    "  The c, m, b, and v commands are optional and if not present the input file is\n"
    " treated as the project file\n\n"
    "  For the -b option, the command line should be:\n"
    "      pluvo -b[num_batch] pluvo_inputfile\n\n"
    "  For the -c option, the command line should be:\n"
    "      pluvo -c sce_inputfile\n\n"
    "  For the -m option, the command line should be:\n"
    "      pluvo -m[num_batch] mc_inputfile\n\n"
    "  For the -s option, the command line should be:\n"
    "      pluvo -s sen_inputfile\n\n"
    "  For the -t option (and -tv), the command line should be:\n"
    "      pluvo -t[v]\n\n"
    "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input "
    "file, mc_intputfile is\n"
    "  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n\n";

void print_usage() {
    std::fputs(kUsageText, stdout);
}

// Copies a path argument; a path that does not fit the field is refused.
static bool copy_path(const char* arg, command_line& result) {
    if (std::strlen(arg) >= sizeof(result.input_path)) {
        std::printf("Error: the input file name is longer than %d characters.\n",
                    static_cast<int>(sizeof(result.input_path)) - 1);
        return false;
    }
    std::strcpy(result.input_path, arg);
    return true;
}

// Reads the run count that follows a two-character switch ("-b5"): the
// decimal integer at the front of the rest (as "%d" reads it); 1 when none
// can be read there or it lies beyond the int range.
static int switch_count(const char* arg) {
    const char* p = arg + 2;
    while (*p == ' ' || *p == '\t') ++p;
    std::string digits;
    if (*p == '+' || *p == '-') digits.push_back(*p++);
    while (*p >= '0' && *p <= '9') digits.push_back(*p++);
    int count = 1;
    if (!parse_int_text(digits.c_str(), INT_MIN, INT_MAX, count)) count = 1;
    return count;
}

int parse_command_line(int argc, char** argv, command_line& result) {
    result = command_line();
    if (argc < 2) {
        print_usage();
        return -1;
    }
    if (argc == 2) {
        result.mode = kModeSingle;
        if (!copy_path(argv[1], result)) {
            print_usage();
            return -1;
        }
        return 1;
    }
    int count = 1;
    const char* first = argv[1];
    if (std::strncmp(first, "-s", 2) == 0) {
        result.mode = kModeSensitivity;
    } else if (std::strncmp(first, "-c", 2) == 0) {
        result.mode = kModeSce;
    } else if (std::strncmp(first, "-b", 2) == 0) {
        result.mode = kModeBatch;
        count = switch_count(first);
    } else if (std::strncmp(first, "-m", 2) == 0) {
        result.mode = kModeMonteCarlo;
        count = switch_count(first);
    } else if (std::strncmp(first, "-h", 2) == 0) {
        result.mode = kModeHelp;
    } else if (std::strncmp(first, "-v", 2) == 0) {
        result.mode = kModeVersion;
        return count;
    } else {
        print_usage();
        return -1;
    }
    if (!copy_path(argv[2], result)) {
        result.mode = kModeNone;
        print_usage();
        return -1;
    }
    return count;
}

void print_banner() {
    std::printf("\n    -- PLUVO version %4.2lf%c --\n \n", kVersionNumber, kVersionLetter);
    std::printf("  Distributed, physically based hydrologic model of a watershed:\n");
    std::printf("  overland flow, infiltration, groundwater, channels and storm drains.\n");
    std::printf("  Built by the pluvo development team,\n");
    std::printf("  developed in cooperation with: \n \n");
    std::printf("  the hydrologists and engineers who test it on their watersheds\n");
    std::printf("  and report what they find.\n");
    std::printf("\n \n");
    std::printf("  The shuffled complex evolution (SCE-UA) calibration follows the\n");
    std::printf("  published method of global optimisation for conceptual models.\n");
    std::printf("\n \n");
    std::printf("For information contact:\n");
    std::printf("  the pluvo development team\n");
    std::printf("  see the README of the source distribution\n");
    std::printf("  for how to report a problem\n");
    std::printf("  and how to contribute.\n");
    std::printf("\n \n");
    std::printf("Intended for use with ZOV Version 8.0 or higher");
    std::printf("\n \n");
}

// Web (CGI) framing: header, preamble and the echoed form data.
static void write_web_preamble() {
    std::printf("%s%c%c\n", "Content-Type:text/text;charset=iso-8859-1", 13, 10);
    std::printf("<title>PLUVO Test Case</title><body><P> Web version of PLUVO (%2.1lf%c) with "
                "SCE starting...</P><P>",
                kVersionNumber, kVersionLetter);
    const char* length_text = std::getenv("CONTENT_LENGTH");
    int length = -1;
    if (length_text == nullptr || !parse_int_text(length_text, 0, 1024, length)) {
        std::printf("<P>Error in invocation - wrong FORM probably.");
        return;
    }
    char form[1026] = {};
    if (length > 0 && std::fgets(form, static_cast<int>(length) + 1, stdin) != nullptr) {
        std::fputs(form, stdout);
    }
}

int program_main(int argc, char** argv) {
    if (argc > 0 && argv[0] != nullptr && std::strstr(argv[0], "web") != nullptr) {
        web_mode = 1;
        write_web_preamble();
    } else {
        std::printf("Parallel version of PLUVO (%2.1lf%c) with SCE (OpenMP), %d total threads.\n",
                    kVersionNumber, kVersionLetter, run_options.thread_count);
        std::fflush(stdout);
    }

    command_line cmd;
    int count = parse_command_line(argc, argv, cmd);
    int status = kExitOk;
    if (count == -1) {
        status = kExitUsage;
    } else {
        switch (cmd.mode) {
            case kModeSingle:
                run_options.results_mode = 0;
                run_options.process_count = 1;
                run_model(cmd.input_path, nullptr);
                status = last_run_failed() ? kExitRunFailed : kExitOk;
                break;
            case kModeSce:
                run_options.results_mode = 0;
                run_options.process_count = 1;
                status = run_sce_calibration(run_options, cmd.input_path);
                break;
            case kModeBatch:
                run_options.results_mode = 0;
                run_options.process_count = 1;
                std::printf("PLUVO is running in batch mode, and is running %d runs...\n", count);
                for (int i = 0; i < count; ++i) {
                    replace_line_index = i;
                    prefix_run_number = 1;
                    run_number = i;
                    run_model(cmd.input_path, nullptr);
                    if (last_run_failed()) status = kExitRunFailed;
                }
                break;
            case kModeVersion:
                print_banner();
                break;
            case kModeHelp:
                break;
            case kModeMonteCarlo:
                run_options.results_mode = 0;
                run_options.process_count = 1;
                status = run_montecarlo(run_options, count, cmd.input_path);
                break;
            case kModeSensitivity:
                status = run_sensitivity(run_options, cmd.input_path);
                break;
            default:
                break;
        }
    }
    if (web_mode) std::printf("</P></body>\n");
    std::fflush(stdout);
    return status;
}
