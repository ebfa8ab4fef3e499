// Tests of the guarded file object and of file-name resolution against the
// project and output folders.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/file_object.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// Number of open descriptors of this process.
int open_descriptors() {
    int n = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++n;
    }
    return n;
}

std::string current_folder() {
    char buffer[4096];
    return getcwd(buffer, sizeof(buffer)) ? buffer : "";
}

// Every test runs in a fresh temporary folder `root_` with the working folder
// at root_/work, and with the program-wide path state cleared; both are put
// back afterwards.
class FileObject : public ::testing::Test {
protected:
    void SetUp() override {
        std::memcpy(saved_project_, project_folder_path, sizeof(saved_project_));
        std::memcpy(saved_output_, output_folder_path, sizeof(saved_output_));
        saved_output_set_ = output_folder_set;
        saved_run_number_ = run_number;
        saved_prefix_ = prefix_run_number;
        saved_cwd_ = current_folder();

        char pattern[] = "/tmp/pluvo_file_object_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directory(root_ + "/work");
        ASSERT_EQ(chdir((root_ + "/work").c_str()), 0);

        std::memset(project_folder_path, 0, sizeof(project_folder_path));
        std::memset(output_folder_path, 0, sizeof(output_folder_path));
        output_folder_set = 0;
        run_number = 0;
        prefix_run_number = 0;
    }

    void TearDown() override {
        EXPECT_EQ(chdir(saved_cwd_.c_str()), 0);
        std::memcpy(project_folder_path, saved_project_, sizeof(saved_project_));
        std::memcpy(output_folder_path, saved_output_, sizeof(saved_output_));
        output_folder_set = saved_output_set_;
        run_number = saved_run_number_;
        prefix_run_number = saved_prefix_;
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // Makes root_ (with its separator) the project folder.
    void use_root_as_project() {
        std::vector<char> buffer(root_.begin(), root_.end());
        buffer.resize(root_.size() + 2, '\0');
        set_project_folder(buffer.data(), static_cast<int>(root_.size()));
    }

    // Names of every file and folder below root_, relative to it.
    std::set<std::string> tree() const {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            names.insert(fs::relative(entry.path(), root_).string());
        }
        return names;
    }

    std::string root_;

private:
    char saved_project_[1024];
    char saved_output_[1024];
    int saved_output_set_ = 0;
    int saved_run_number_ = 0;
    int saved_prefix_ = 0;
    std::string saved_cwd_;
};

TEST_F(FileObject, FreshAndInitialisedObjectsAreClosed) {
    file_object f;
    EXPECT_FALSE(f.is_open());
    EXPECT_EQ(f.guard, nullptr);
    EXPECT_STREQ(f.name, "");
    std::strcpy(f.name, "left over");
    std::strcpy(f.mode, "w");
    f.guard = stdout;
    init_file_object(f);
    EXPECT_EQ(f.handle, nullptr);
    EXPECT_EQ(f.guard, nullptr);
    EXPECT_STREQ(f.name, "");
    EXPECT_STREQ(f.mode, "");
}

TEST_F(FileObject, QuotesAroundThePathAreRemovedInPlace) {
    const std::string path = root_ + "/quoted name.txt";
    for (const char* form : {"\"%s\"", "\"%s", "%s\""}) {
        char buffer[1024];
        std::snprintf(buffer, sizeof(buffer), form, path.c_str());
        file_object f;
        ASSERT_TRUE(open_file_object(f, buffer, "w")) << form;
        EXPECT_EQ(std::string(buffer), path) << form;
        EXPECT_EQ(std::string(f.name), path) << form;
        EXPECT_STREQ(f.mode, "w");
        EXPECT_EQ(f.guard, f.handle);
        close_file_object(f);
        EXPECT_TRUE(fs::exists(path));
    }
}

TEST_F(FileObject, ReadingLooksInWorkingThenOutputFolder) {
    struct read_case {
        const char* stored_at;       // where the file exists, relative to root_
        const char* output_folder;   // output folder card, or null
        bool found;
        const char* opened_as;       // expected name, relative to root_ (null: "in.dat")
    };
    const read_case cases[] = {
        {"in.dat", nullptr, true, "in.dat"},            // project folder + name
        {"out/in.dat", "out/", true, "out/in.dat"},     // project + output folder + name
        {"in.dat", "out/", false, nullptr},             // never project + name when a folder is set
        {"work/in.dat", "out/", true, nullptr},         // the name unchanged comes first
    };
    fs::create_directory(root_ + "/out");
    use_root_as_project();
    for (const read_case& c : cases) {
        write_file(root_ + "/" + c.stored_at, "data");
        std::memset(output_folder_path, 0, sizeof(output_folder_path));
        output_folder_set = 0;
        if (c.output_folder) set_output_folder(c.output_folder);

        file_object f;
        testing::internal::CaptureStdout();
        const bool opened = open_file_named(f, "in.dat", "r");
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(opened, c.found) << c.stored_at;
        if (c.found) {
            const std::string expected = c.opened_as ? root_ + "/" + c.opened_as : "in.dat";
            EXPECT_EQ(std::string(f.name), expected);
            EXPECT_EQ(out, "");
        } else {
            EXPECT_FALSE(f.is_open());
            EXPECT_EQ(out, "Error getting new filename from in.dat\n");
        }
        close_file_object(f);
        fs::remove(root_ + "/" + c.stored_at);
    }
}

TEST_F(FileObject, RunNumberPrefixesWrittenButNotReadNames) {
    fs::create_directory(root_ + "/out");
    write_file(root_ + "/out/in.dat", "input");
    use_root_as_project();
    set_output_folder("out");
    prefix_run_number = 1;
    run_number = 12;

    struct prefix_case {
        const char* name;
        const char* mode;
        const char* opened_as;   // relative to root_
    };
    const prefix_case cases[] = {
        {"hyd.otl", "w", "out/0012_hyd.otl"},
        {"log.txt", "a", "out/0012_log.txt"},
        {"map.bin", "wb", "out/0012_map.bin"},
        {"in.dat", "r", "out/in.dat"},
    };
    for (const prefix_case& c : cases) {
        file_object f;
        ASSERT_TRUE(open_file_named(f, c.name, c.mode)) << c.name;
        EXPECT_EQ(std::string(f.name), root_ + "/" + c.opened_as);
        EXPECT_STREQ(f.mode, c.mode);
        close_file_object(f);
        EXPECT_TRUE(fs::exists(root_ + "/" + c.opened_as));
    }
    EXPECT_FALSE(fs::exists(root_ + "/out/0012_in.dat"));
    EXPECT_EQ(read_file(root_ + "/out/in.dat"), "input");
}

TEST_F(FileObject, OutputFolderBelowProjectIsCreatedThenEntered) {
    use_root_as_project();
    const std::string full = root_ + "/out2";
    set_output_folder(full.c_str());
    EXPECT_EQ(std::string(output_folder_path), full + "/");

    // First write: the folder is missing, it is created; the working folder stays.
    file_object a;
    ASSERT_TRUE(open_file_named(a, "a.txt", "w"));
    EXPECT_EQ(std::string(a.name), full + "/a.txt");
    EXPECT_TRUE(fs::is_directory(full));
    EXPECT_STREQ(output_folder_path, "out2/");
    EXPECT_EQ(current_folder(), root_ + "/work");
    close_file_object(a);

    // The same card on a later run: the folder exists and becomes the working folder.
    set_output_folder((full + "/").c_str());
    file_object b;
    ASSERT_TRUE(open_file_named(b, "b.txt", "w"));
    EXPECT_EQ(std::string(b.name), full + "/b.txt");
    EXPECT_STREQ(output_folder_path, "out2/");
    EXPECT_EQ(current_folder(), full);
    close_file_object(b);
}

TEST_F(FileObject, FolderThatOnlyContainsProjectTextIsNotCut) {
    char sub[1024];
    prepare_output_folder("/data/proj/out/", "proj/", sub);
    EXPECT_STREQ(sub, "/data/proj/out/");
    EXPECT_EQ(output_folder_set, 0);
    EXPECT_EQ(current_folder(), root_ + "/work");
}

TEST_F(FileObject, ReopeningAnOpenObjectWarnsAndKeepsEarlierData) {
    const std::string first = root_ + "/first.txt";
    const std::string second = root_ + "/second.txt";
    const int descriptors = open_descriptors();
    file_object f;
    ASSERT_TRUE(open_file_named(f, first.c_str(), "w"));
    std::fputs("abc", f.handle);

    testing::internal::CaptureStdout();
    ASSERT_TRUE(open_file_named(f, second.c_str(), "a"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\nError!!!!!!! opening a file when the previous file was not closed.\n"
              "Original file: " + first + "\nNew file: " + second + "\n\n\n");
    EXPECT_EQ(open_descriptors(), descriptors + 1);   // the earlier stream was closed
    EXPECT_EQ(read_file(first), "abc");
    EXPECT_EQ(std::string(f.name), second);
    EXPECT_EQ(f.guard, f.handle);
    std::fputs("def", f.handle);
    close_file_object(f);
    EXPECT_EQ(read_file(second), "def");
}

TEST_F(FileObject, CorruptGuardIsReportedOnOpenAndClose) {
    const std::string path = root_ + "/guarded.txt";
    const std::string corrupt_empty =
        "\n\n\nError with the file . The file pointer is corrupt.\n\n\n\n";
    file_object f;
    f.guard = stdout;   // overwritten while closed: reported, the open goes on
    testing::internal::CaptureStdout();
    ASSERT_TRUE(open_file_named(f, path.c_str(), "w"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), corrupt_empty);
    EXPECT_EQ(f.guard, f.handle);

    std::fputs("xyz", f.handle);
    f.guard = nullptr;
    testing::internal::CaptureStdout();
    close_file_object(f);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\n\nError with the file " + path + ". The file pointer is corrupt.\n\n\n\n");
    EXPECT_FALSE(f.is_open());
    EXPECT_STREQ(f.name, "");
    EXPECT_EQ(read_file(path), "xyz");   // the handle itself was still closed
}

TEST_F(FileObject, RefusedOpensAreSilent) {
    const std::string path = root_ + "/never.txt";
    struct refused_case {
        std::string path;
        const char* mode;
    };
    const refused_case cases[] = {
        {path, "x"}, {path, ""}, {"", "w"}, {"\"\"", "w"}, {"\"", "r"},
    };
    for (const refused_case& c : cases) {
        std::vector<char> buffer(c.path.begin(), c.path.end());
        buffer.push_back('\0');
        file_object f;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(open_file_object(f, buffer.data(), c.mode)) << c.path << " " << c.mode;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.path << " " << c.mode;
        EXPECT_FALSE(f.is_open());
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(FileObject, WriteWithoutOutputFolderGoesToProjectFolder) {
    use_root_as_project();
    file_object f;
    ASSERT_TRUE(open_file_named(f, "summary.out", "w"));
    EXPECT_EQ(std::string(f.name), root_ + "/summary.out");
    EXPECT_EQ(output_folder_set, 0);
}

// Names that need more than 1023 characters are refused with the too-long
// message and nothing is created under a cut name.
TEST_F(FileObject, TooLongNamesAreRefused) {
    struct long_case {
        const char* label;
        std::string path;
        const char* mode;
        std::string project;   // project folder without its separator, or empty
        int prefix;
    };
    const long_case cases[] = {
        {"absolute write", root_ + "/" + std::string(1100, 'a'), "w", "", 0},
        {"prefix pushes past", std::string(1020, 'b'), "w", "", 1},
        {"project folder + name", std::string(40, 'c'), "r",
         root_ + "/" + std::string(1000 - root_.size(), 'p'), 0},
        {"project folder + name on write", std::string(40, 'd'), "a",
         root_ + "/" + std::string(1000 - root_.size(), 'q'), 0},
    };
    const std::set<std::string> before = tree();
    for (const long_case& c : cases) {
        std::memset(project_folder_path, 0, sizeof(project_folder_path));
        if (!c.project.empty()) {
            std::vector<char> buffer(c.project.begin(), c.project.end());
            buffer.resize(c.project.size() + 2, '\0');
            set_project_folder(buffer.data(), static_cast<int>(c.project.size()));
        }
        prefix_run_number = c.prefix;
        run_number = 3;
        std::vector<char> buffer(c.path.begin(), c.path.end());
        buffer.push_back('\0');
        file_object f;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(open_file_object(f, buffer.data(), c.mode)) << c.label;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error.... name too long!!!\n\n\n")
            << c.label;
        EXPECT_FALSE(f.is_open()) << c.label;
        EXPECT_STREQ(f.name, "") << c.label;
        EXPECT_EQ(tree(), before) << c.label;
    }

    file_object g;
    const std::string long_name = root_ + "/" + std::string(1500, 'e');
    testing::internal::CaptureStdout();
    EXPECT_FALSE(open_file_named(g, long_name.c_str(), "w"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error.... name too long!!!\n\n\n");
}

TEST_F(FileObject, DestructorClosesAndFlushes) {
    const std::string path = root_ + "/scoped.txt";
    {
        file_object f;
        ASSERT_TRUE(open_file_named(f, path.c_str(), "w"));
        std::fputs("kept", f.handle);
    }
    EXPECT_EQ(read_file(path), "kept");

    file_object closed;
    closed.guard = stdout;   // a closed object is left alone, without a message
    testing::internal::CaptureStdout();
    destroy_file_object(closed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    closed.guard = nullptr;
}

TEST_F(FileObject, FolderSettersEndInTheSeparator) {
    set_output_folder("results");
    EXPECT_STREQ(output_folder_path, "results/");
    EXPECT_EQ(output_folder_set, 1);
    set_output_folder("");   // an empty card keeps the folder
    EXPECT_STREQ(output_folder_path, "results/");
    set_output_folder("runs/");
    EXPECT_STREQ(output_folder_path, "runs/");

    char project[16] = "/data/proj";
    set_project_folder(project, 10);
    EXPECT_STREQ(project, "/data/proj/");
    EXPECT_STREQ(project_folder_path, "/data/proj/");
    char ended[16] = "/data/other/";
    set_project_folder(ended, 12);
    EXPECT_STREQ(ended, "/data/other/");
    EXPECT_STREQ(project_folder_path, "/data/other/");
}

}  // namespace

namespace {

TEST_F(FileObject, FolderIsNeverOpenedAsAFileAndTheMessageNamesIt) {
    fs::create_directory(root_ + "/work/maps");
    for (const char* mode : {"r", "w", "a"}) {
        file_object f;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(open_file_named(f, "maps", mode)) << mode;
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("Error: maps is a folder, not a file\n"), std::string::npos) << out;
        EXPECT_FALSE(f.is_open());
    }
    EXPECT_TRUE(fs::is_directory(root_ + "/work/maps"));
}

TEST_F(FileObject, PlannedPathsAreWhereOpensGoAndCreateNothing) {
    // Output folder given absolute and outside the project folder: it stands alone.
    fs::create_directory(root_ + "/project");
    fs::create_directory(root_ + "/elsewhere");
    write_file(root_ + "/project/in.dat", "input");
    const std::string project = root_ + "/project";
    std::vector<char> buffer(project.begin(), project.end());
    buffer.resize(project.size() + 2, '\0');
    set_project_folder(buffer.data(), static_cast<int>(project.size()));
    set_output_folder((root_ + "/elsewhere").c_str());

    struct plan_case {
        const char* name;
        const char* mode;
        const char* expected;   // relative to root_; empty: no candidate
    };
    const plan_case cases[] = {
        {"q.otl", "w", "elsewhere/q.otl"},
        {"in.dat", "r", ""},   // read: the name unchanged (working folder), then the output folder
        {"sub/none.txt", "w", ""},
    };
    for (const plan_case& c : cases) {
        const auto before = tree();
        char planned[1024];
        const bool found = planned_path(c.name, c.mode, planned);
        EXPECT_EQ(tree(), before) << c.name;
        if (c.expected[0] == '\0') {
            EXPECT_FALSE(found) << c.name;
            continue;
        }
        ASSERT_TRUE(found) << c.name;
        EXPECT_EQ(std::string(planned), root_ + "/" + c.expected);
        file_object f;
        ASSERT_TRUE(open_file_named(f, c.name, c.mode));
        EXPECT_EQ(std::string(f.name), std::string(planned));
        close_file_object(f);
    }
    // With the prefix of a batch run.
    prefix_run_number = 1;
    run_number = 3;
    char planned[1024];
    ASSERT_TRUE(planned_path("q.otl", "w", planned));
    EXPECT_EQ(std::string(planned), root_ + "/elsewhere/0003_q.otl");
}

TEST_F(FileObject, OutputFolderProblemsAreNamed) {
    use_root_as_project();
    write_file(root_ + "/plain.txt", "x");
    fs::create_directory(root_ + "/made");
    struct folder_case {
        std::string folder;
        const char* problem;   // null: usable
    };
    const folder_case cases[] = {
        {"", nullptr},
        {root_ + "/made", nullptr},
        {root_ + "/new", nullptr},             // below the project folder: created on first write
        {root_ + "/new/deeper", "does not exist and cannot be created"},
        {root_ + "/plain.txt", "is not a folder"},
        {"/nonexistent_pluvo_folder", "does not exist"},
    };
    for (const folder_case& c : cases) {
        output_folder_set = 0;
        output_folder_path[0] = '\0';
        if (!c.folder.empty()) set_output_folder(c.folder.c_str());
        char folder[1024];
        const char* problem = output_folder_problem(folder);
        if (c.problem == nullptr) {
            EXPECT_EQ(problem, nullptr) << c.folder << ": " << problem;
        } else {
            ASSERT_NE(problem, nullptr) << c.folder;
            EXPECT_STREQ(problem, c.problem) << c.folder;
        }
    }
    EXPECT_FALSE(fs::exists(root_ + "/new"));
}

}  // namespace

namespace {

// Opens `name` with `mode` and closes it; true when it opened.
bool opens(const char* name, const char* mode) {
    file_object f;
    const bool ok = open_file_named(f, name, mode);
    close_file_object(f);
    return ok;
}

}  // namespace

TEST_F(FileObject, GuardScopeRefusesToWriteOverItsInputs) {
    write_file("in.dat", "input");
    write_file("other.dat", "other");
    fs::create_symlink("in.dat", "link.dat");
    // Outside every scope nothing is held: a read file may be written (unit use).
    ASSERT_TRUE(opens("other.dat", "r"));
    ASSERT_TRUE(opens("other.dat", "a"));
    {
        input_guard_scope study;
        ASSERT_TRUE(opens("in.dat", "r"));
        struct write_case {
            const char* name;
            const char* mode;
        };
        // Every mode, and another name of the same file.
        for (const write_case& c : {write_case{"in.dat", "w"}, write_case{"in.dat", "a"},
                                    write_case{"link.dat", "w"}, write_case{"in.dat", "wb"}}) {
            testing::internal::CaptureStdout();
            EXPECT_FALSE(opens(c.name, c.mode)) << c.name << " " << c.mode;
            const std::string out = testing::internal::GetCapturedStdout();
            EXPECT_NE(out.find("would overwrite the input file"), std::string::npos) << out;
            EXPECT_EQ(read_file("in.dat"), "input") << c.name << " " << c.mode;
        }
        {
            input_guard_scope run;
            // A file the program wrote itself and reads back is no input.
            ASSERT_TRUE(opens("made.out", "w"));
            ASSERT_TRUE(opens("made.out", "r"));
            EXPECT_TRUE(opens("made.out", "a"));
            ASSERT_TRUE(opens("other.dat", "r"));
            EXPECT_FALSE(opens("other.dat", "w"));
            EXPECT_FALSE(opens("in.dat", "w"));   // the outer scope's input
        }
        // The run's inputs are forgotten at its end, the study's are kept.
        EXPECT_TRUE(opens("other.dat", "a"));
        EXPECT_FALSE(opens("in.dat", "a"));
    }
    EXPECT_TRUE(opens("in.dat", "a"));
    EXPECT_EQ(read_file("in.dat"), "input");
}
