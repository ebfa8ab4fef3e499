// Helpers of the summary tests: text searches and the check that no number
// field of a summary reads "nan" or "inf".
#pragma once
#include <sstream>
#include <string>

namespace summary_test {

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// True when some blank-separated field of the text is a not-a-number or an
// infinity as printf writes them.
inline bool has_non_finite_field(const std::string& text) {
    std::istringstream in(text);
    std::string field;
    while (in >> field) {
        while (!field.empty() && (field.back() == '%' || field.back() == ',')) field.pop_back();
        if (field.size() > 0 && (field[0] == '-' || field[0] == '+')) field.erase(0, 1);
        if (field == "nan" || field == "inf" || field == "NAN" || field == "INF" || field == "infinity")
            return true;
    }
    return false;
}

}  // namespace summary_test
