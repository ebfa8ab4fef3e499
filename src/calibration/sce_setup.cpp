// The SCE input file, the settings check and the files of the optimiser.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "calibration/sce_optimizer.h"
#include "core/text.h"
#include "input/project_reader.h"

namespace {

constexpr int kPopulationLimit = 1320;   // largest population, points
constexpr int kLargestSubComplex = 50;   // largest sub-complex, points
constexpr int kLargestKstop = 20;        // kstop must stay below this

// Free-format reader of the numbers of the input file: tokens are taken
// line by line (replacement applied by read_line), wherever the line breaks fall.
class number_stream {
public:
    explicit number_stream(file_object& f) : f_(f) {}
    // Next token; false at the end of the file. `line_number` is its line.
    bool token(std::string& out) {
        char word[kTokenSize];
        for (;;) {
            if (pending_ && next_word(line_, word)) {
                out = word;
                return true;
            }
            if (!read_line(line_, f_)) return false;
            ++line_number;
            pending_ = true;
        }
    }
    bool real(double& v, std::string& text) {
        text.clear();   // stays empty at the end of the file
        if (!token(text)) return false;
        return parse_real_token(text.c_str(), v) == number_status::ok;
    }
    bool whole(int& v, std::string& text) {
        text.clear();   // stays empty at the end of the file
        if (!token(text)) return false;
        return parse_int_token(text.c_str(), v) == number_status::ok;
    }
    void start(int lines_read) { line_number = lines_read; }
    int line_number = 0;

private:
    file_object& f_;
    text_line line_;
    bool pending_ = false;
};


}  // namespace

bool scein(sce_optimizer& o, file_object& f) {
    std::printf(" ENTER THE SCEIN SUBROUTINE --- \n");
    std::string* paths[] = {&o.project_path, &o.param_list_path, &o.obs_path};
    text_line line;
    int lines = 0;
    for (std::string* p : paths) {
        char word[kTokenSize] = {};
        if (!read_line(line, f)) {
            std::printf("Error: SCE input file %s ends at line %d; it must begin with the project, "
                        "parameter-list and observation file names.\n",
                        o.input_path.c_str(), lines + 1);
            return false;
        }
        ++lines;
        next_word(line, word);
        *p = word;
    }
    read_project_folder(o.project_path.c_str());

    // The seven settings stand on one line; the numbers after them are free format.
    std::string text;
    int settings[6] = {};
    {
        const char* names7[] = {"maxn", "kstop", "pcento", "ngs", "iseed", "ideflt", "nopt"};
        int* whole[] = {&o.maxn, &o.kstop, nullptr, &o.ngs, &o.iseed, &o.ideflt, &o.nopt};
        const bool have_line = read_line(line, f) != 0;
        ++lines;
        for (int k = 0; k < 7; ++k) {
            char word[kTokenSize] = {};
            const bool got = have_line && next_word(line, word);
            text = word;
            const bool ok = got && (k == 2 ? parse_real_token(word, o.pcento) == number_status::ok
                                           : parse_int_token(word, *whole[k]) == number_status::ok);
            if (!ok) {
                std::printf("Error in your input file. The first line must have 7 parameters.\n");
                std::printf("Error: SCE input file %s, line %d: the settings line (maxn kstop pcento ngs "
                            "iseed ideflt nopt) has no usable %s (\"%s\").\n",
                            o.input_path.c_str(), lines, names7[k], text.c_str());
                return false;
            }
        }
    }
    number_stream in(f);
    in.start(lines);
    if (o.iseed == 0) o.iseed = 3737;
    if (o.nopt < 1) {
        std::printf("Error: SCE input file %s, line %d: the number of parameters (nopt) is %d; it "
                    "must be 1 or more.\n",
                    o.input_path.c_str(), in.line_number, o.nopt);
        return false;
    }
    const char* names6[] = {"npg", "nps", "nspl", "mings", "iniflg", "iprint"};
    for (int k = 0; k < 6; ++k) {
        if (!in.whole(settings[k], text)) {
            std::printf("Error: SCE input file %s, line %d: the second settings line must have 6 "
                        "whole numbers (npg nps nspl mings iniflg iprint); %s is \"%s\".\n",
                        o.input_path.c_str(), in.line_number, names6[k], text.c_str());
            return false;
        }
    }
    if (o.ideflt == 1) {
        o.npg = settings[0];
        o.nps = settings[1];
        o.nspl = settings[2];
        o.mings = settings[3];
        o.iniflg = settings[4];
        o.iprint = settings[5];
    }
    // Grown as the parameters are read: a count beyond the file ends at its
    // end instead of sizing the tables (and the population) by it.
    o.x0.assign(1, 0.0);
    o.bl.assign(1, 0.0);
    o.bu.assign(1, 0.0);
    for (int i = 1; i <= o.nopt; ++i) {
        o.x0.push_back(0.0);
        o.bl.push_back(0.0);
        o.bu.push_back(0.0);
        double* dst[] = {&o.x0[static_cast<size_t>(i)], &o.bl[static_cast<size_t>(i)],
                         &o.bu[static_cast<size_t>(i)]};
        const char* names[] = {"start value", "lower bound", "upper bound"};
        for (int k = 0; k < 3; ++k) {
            if (!in.real(*dst[k], text)) {
                if (text.empty()) {
                    std::printf("Error: SCE input file %s, line %d: parameter %d of %d needs a "
                                "start value, a lower and an upper bound; the file ends before "
                                "its %s.\n",
                                o.input_path.c_str(), in.line_number, i, o.nopt, names[k]);
                } else {
                    std::printf("Error: SCE input file %s, line %d: parameter %d of %d needs a "
                                "start value, a lower and an upper bound; its %s is \"%s\".\n",
                                o.input_path.c_str(), in.line_number, i, o.nopt, names[k],
                                text.c_str());
                }
                return false;
            }
        }
        if (o.bl[static_cast<size_t>(i)] >= o.bu[static_cast<size_t>(i)]) {
            std::printf("ERROR:  Lower bound is greater than upper bound for varialbe %d\n", i);
            std::printf("Error: SCE input file %s, line %d: the lower bound %g is not below the upper "
                        "bound %g.\n",
                        o.input_path.c_str(), in.line_number, o.bl[static_cast<size_t>(i)],
                        o.bu[static_cast<size_t>(i)]);
            return false;
        }
    }
    close_file_object(f);
    return true;
}

bool check_sce_settings(sce_optimizer& o) {
    const int nopt = o.nopt;
    if (o.ideflt == 0) {
        o.nps = nopt + 1;
        o.npg = 2 * nopt + 1;
        o.nspl = 2 * nopt + 1;
        o.mings = o.ngs;
        o.iniflg = 0;
        o.iprint = 0;
    }
    if (o.ngs <= 0 || o.ngs >= kPopulationLimit) {
        std::printf(" **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION %d IS NOT A VALID CHOICE\n",
                    o.ngs);
        return false;
    }
    int warnings = 0;
    if (o.kstop < 0 || o.kstop >= kLargestKstop) {
        std::printf(" **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE\n");
        std::printf(" MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = %d WAS\n", o.kstop);
        std::printf(" WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n");
        o.kstop = 5;
        ++warnings;
    }
    if (o.mings <= 0 || o.mings > o.ngs) {
        std::printf(" **WARNING** THE MINIMUM NUMBER OF COMPLEXES %d IS NOT A VALID CHOICE.\n", o.mings);
        std::printf(" SET IT TO DEFAULT\n");
        o.mings = o.ngs;
        ++warnings;
    }
    const int per_complex = kPopulationLimit / (o.ngs < 2 ? 1 : o.ngs);
    if (o.npg < 2 || o.npg > per_complex) {
        std::printf(" **WARNING** THE NUMBER OF POINTS IN A COMPLEX %d IS NOT\n", o.npg);
        std::printf(" A VALID CHOICE, SET IT TO DEFAULT\n");
        o.npg = 2 * nopt + 1;
        ++warnings;
    }
    if (o.nps < 2 || o.nps > o.npg || o.nps > kLargestSubComplex) {
        std::printf(" **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX %d IS NOT\n", o.nps);
        std::printf(" A VALID CHOICE, SET IT TO DEFAULT\n");
        // A sub-complex is drawn from its complex without repeats: it can
        // never hold more points than the complex.
        o.nps = std::min(nopt + 1, o.npg);
        ++warnings;
    }
    if (o.nspl <= 0) {
        std::printf(" **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n");
        std::printf(" BEFORE SHUFFLING %d IS NOT A VALID CHOICE, SET IT TO DEFAULT\n", o.nspl);
        o.nspl = o.npg;
        ++warnings;
    }
    if (static_cast<long>(o.npg) * o.ngs > kPopulationLimit) {
        std::printf(" **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION %ld EXCEED\n",
                    static_cast<long>(o.npg) * o.ngs);
        std::printf(" THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n");
        o.ngs = 2;
        o.npg = 2 * nopt + 1;
        o.nspl = 2 * nopt + 1;
        o.nps = nopt + 1;
        ++warnings;
    }
    // Every reset above leaves the sub-complex within its complex.
    if (o.nps > o.npg) o.nps = o.npg;
    if (warnings > 0) std::printf(" *** TOTAL NUMBER OF WARNING MESSAGES IS %d\n", warnings);
    return true;
}

void open_sce_files(sce_optimizer& o, const char* input_path) {
    o.model_mode = 1;
    o.setup_ok = 0;
    o.input_path = input_path;
    file_object in;
    if (!open_file_named(in, input_path, "r")) {
        std::printf("Can't open SCE input file %s\n", input_path);
        return;
    }
    if (!scein(o, in)) return;
    if (!check_sce_settings(o)) return;
    o.setup_ok = 1;
}

bool open_sce_output(sce_optimizer& o, const char* output_name) {
    o.output_open = 1;
    if (!open_file_named(o.output_file, output_name, "w")) {
        std::printf("Can't open output file %s\n", output_name);
        o.output_open = 0;
        o.setup_ok = 0;
        return false;
    }
    return true;
}
