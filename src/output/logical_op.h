// Node tests of an analyzer: one stream array of the channel network compared
// node by node with a threshold, one pass flag per node, and the report text
// (values or test results with the date and the moment) for the console and
// the analyzer's file.
#pragma once
#include <string>
#include <vector>

#include "channel/node_array.h"

struct file_object;

// Operator kinds of an analyzer line. Kinds 0 to 4 compare; 5 to 8 are the
// arithmetic kinds that the 2-D modifier also uses; 9 is none.
enum analyzer_op : int {
    kOpLess = 0,
    kOpGreater = 1,
    kOpEqual = 2,
    kOpLessEqual = 3,
    kOpGreaterEqual = 4,
    kOpAdd = 5,
    kOpSubtract = 6,
    kOpMultiply = 7,
    kOpDivide = 8,
    kOpNone = 9,
};

// Print letters of an analyzer line (bits of print_flags).
constexpr int kPrintPassedOnly = 1;  // 't': list only the passing nodes, one line each
constexpr int kPrintLinkRows = 2;    // 'v': one row per link headed by the link number
constexpr int kPrintConsole = 4;     // 's': write to the console
constexpr int kPrintFile = 8;        // 'f': write to the analyzer's file
constexpr int kPrintLogic = 16;      // 'c': logic-test report (header with the test, count)
constexpr int kPrintValues = 32;     // 'd': show node values

// Value given by a division by a zero second value.
constexpr double kDivideByZeroValue = 9999.99;

// Date and clock of a model time (Julian days, day turning at noon) as the
// reports print it: "%02d-%02d-%4d, %d:%d:%2.0lf" (month, day, year, hour,
// minute, second), with 0.01 s added so a time a rounding error short of a
// whole second prints that second.
std::string analyzer_date_text(double julian);
// The moment of a notification mask with its date: mask 1 the date alone,
// 2 event beginning, 4 event end, 8 simulation beginning, 16 simulation end,
// 32 crash point (the lowest of these bits in `mask` chooses).
std::string analyzer_moment_text(int mask, double julian);

// A bound test of one stream array. Links are 1..links, nodes 1..nodes[link].
class logical_op {
public:
    virtual ~logical_op() = default;

    // Compares every node with `threshold` (units of the array) by kind 0..4
    // of analyzer_op; writes every pass flag, the test text and the test
    // time. True when any node passed; false for a kind that compares nothing.
    bool run_test(int kind, double threshold);
    // The report of the last test (see the file comment) as one text.
    std::string report_text(int print_flags, int mask);
    // Writes the report to `file` with 'f' (when open) and to the console with 's'.
    void print_results(int print_flags, int mask, file_object* file);

    bool passed(int link, int node) const { return passed_[flag_index(link, node)] != 0; }
    const std::string& test_text() const { return test_text_; }
    double test_time() const { return test_time_; }

protected:
    // Stores the shape, the time source and the name; sizes and zeroes the flags.
    void bind_shape(int links, const std::vector<int>& nodes_per_link, int stride,
                    const double* time, const char* name);
    // Value of a node for a test (a 2-D array applies its modifier and keeps the result).
    virtual double test_value(int link, int node) = 0;
    // Value of a node as the report shows it (the 2-D one after its modifier).
    virtual double shown_value(int link, int node) const = 0;

    size_t flag_index(int link, int node) const {
        return static_cast<size_t>(link) * static_cast<size_t>(stride_) + static_cast<size_t>(node);
    }

    const double* time_ = nullptr;  // the run's current time, Julian days
    double test_time_ = 0.0;        // time of the last test, Julian days
    std::string test_text_;         // the last test, e.g. "> 10.000000"
    std::string name_;              // array name as written in the analyzer line
    int links_ = 0;                 // number of links
    std::vector<int> nodes_;        // nodes of each link 1..links (slot 0 unused)
    int stride_ = 0;                // flag slots per link (largest node count + 1)
    std::vector<char> passed_;      // pass flag per node, index link x stride + node
};

// Test of a flattened constituent store: value of link i, node j at i x stride + j.
class st1d_logical_op : public logical_op {
public:
    // Binds to `values` (not owned; at least stride x (links + 1) values).
    // False, binding nothing, when the store is shorter than that.
    bool bind(const std::vector<double>* values, int links, const std::vector<int>& nodes_per_link,
              int stride, const double* time, const char* name);

protected:
    double test_value(int link, int node) override { return shown_value(link, node); }
    double shown_value(int link, int node) const override {
        return (*values_)[flag_index(link, node)];
    }

private:
    const std::vector<double>* values_ = nullptr;  // the store, units of the store
};

// Test of a channel node array [node][link], optionally combined with a
// second array by a modifier (kind 5 add, 6 subtract, 7 multiply, 8 divide).
class st2d_logical_op : public logical_op {
public:
    // Binds to `values` (not owned). False when a node of a link lies outside it.
    bool bind(const node_array* values, int links, const std::vector<int>& nodes_per_link,
              const double* time, const char* name);
    // Combines each value with `second` (not owned, shaped like the values) by `kind`.
    void set_modifier(int kind, const node_array* second);
    // Value of a node after the modifier; kept in the modified array.
    double value_with_modifier(int link, int node);

protected:
    double test_value(int link, int node) override { return value_with_modifier(link, node); }
    double shown_value(int link, int node) const override {
        return modified_(static_cast<size_t>(node), static_cast<size_t>(link));
    }

private:
    const node_array* values_ = nullptr;  // the stream array, units of the array
    const node_array* second_ = nullptr;  // the modifier's array, units of the array
    int modifier_ = kOpNone;              // modifier kind (analyzer_op 5..8, 9 none)
    node_array modified_;                 // values after the modifier, units of the array
};
