// Helpers of the project-file tests: a temporary project file read into a
// fresh set of card records with the console output captured, and a reset of
// the program-wide state that cards change.
#pragma once
#include <gtest/gtest.h>
#include <omp.h>

#include <memory>
#include <string>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "input/cards.h"
#include "input/project_reader.h"
#include "input/replace.h"
#include "core/run_options.h"
#include "pluvo_test.h"

namespace card_test {

// The three card records of one read.
struct card_set {
    project_cards cards;
    run_settings settings;
    rain_settings rain;
};

struct read_result {
    std::unique_ptr<card_set> records;
    std::string out;     // standard output of the read
    std::string err;     // standard error of the read
    std::string path;    // the project file
};

// Clears what cards leave behind outside the records.
inline void reset_program_state() {
    error_record = error_info{};
    super_quiet_flag = 0;
    project_folder_path[0] = '\0';
    output_folder_path[0] = '\0';
    output_folder_set = 0;
    free_replace_params();
    replace_active = 0;
    replace_line_index = 0;
    pause_prompt = 0;
    run_options.process_index = 0;
}

// Fixture: a temporary folder and a clean program state around each test.
class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override { reset_program_state(); }
    void TearDown() override { reset_program_state(); }

    std::string write(const std::string& name, const std::string& text) {
        std::string path = dir_.file(name);
        pluvo_test::write_file(path, text);
        return path;
    }

    // Writes `text` as a project file and reads it into new records.
    read_result read(const std::string& text, const std::string& name = "project.prj") {
        read_result r;
        r.path = write(name, text);
        r.records = std::make_unique<card_set>();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        read_project_file(r.path.c_str(), r.records->cards, r.records->settings,
                          r.records->rain);
        std::fflush(stdout);
        r.err = testing::internal::GetCapturedStderr();
        r.out = testing::internal::GetCapturedStdout();
        return r;
    }

    // A project of the header and the given card lines.
    read_result read_cards(const std::string& lines) { return read("PLUVOPROJECT\n" + lines); }

    pluvo_test::temp_dir dir_;
};

}  // namespace card_test
