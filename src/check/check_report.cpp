// The check report's two written forms.
#include "check/check_report.h"

#include "check/json_text.h"

#include <algorithm>

namespace qorvantel {

namespace {
std::string rows_word(std::size_t n) { return std::to_string(n) + (n == 1 ? " row" : " rows"); }

// A result is shown with at most this many rows: enough to read, and a
// report on a 100,000-row database stays a screenful.
const std::size_t shown_rows = 20;

// A result as the console writes it (its schema line, then a line per
// row), cut after shown_rows rows with the count of the rest and of all.
std::string cut(const std::string& result)
{
    std::size_t end = result.find('\n');
    for (std::size_t i = 0; i < shown_rows && end != std::string::npos; ++i)
        end = result.find('\n', end + 1);
    if (end == std::string::npos || end + 1 >= result.size())
        return result;
    std::size_t rest = static_cast<std::size_t>(
        std::count(result.begin() + static_cast<std::ptrdiff_t>(end) + 1, result.end(), '\n'));
    return result.substr(0, end + 1) + "... and " + rows_word(rest) + " more, " + std::to_string(shown_rows + rest)
        + " in all\n";
}

// Each line of a block indented by four spaces, so that the tables stand
// apart from the words around them; an empty block shows as (nothing).
std::string indented(const std::string& block)
{
    std::string out;
    std::size_t start = 0;
    while (start < block.size()) {
        std::size_t end = block.find('\n', start);
        if (end == std::string::npos)
            end = block.size();
        if (end > start)
            out += "    " + block.substr(start, end - start);
        out += '\n';
        start = end + 1;
    }
    return out;
}
} // namespace

std::string report_text(const check_report& report)
{
    std::string out;
    if (report.verdict == check_verdict::same) {
        out += "The reference gives:\n" + indented(cut(report.reference));
        out += "The answer gives:\n" + indented(cut(report.answer));
        out += "Same: no difference found, on the given database (" + rows_word(report.given_rows) + ") or on "
            + std::to_string(report.instances) + " generated databases.\n";
    } else {
        out += "Counterexample:\n" + indented(report.counterexample);
        out += "The reference gives:\n" + indented(cut(report.reference));
        out += "The answer gives:\n" + indented(cut(report.answer));
        out += "Differs: ";
        if (report.where == check_where::given)
            out += "the answer differs from the reference on the given database (" + rows_word(report.given_rows) + ")";
        else
            out += "the answer agrees with the reference on the given database, but not on generated database "
                + std::to_string(report.instances);
        if (report.counterexample_rows == 0)
            out += "; they differ even when every relation is empty.\n";
        else
            out += "; the counterexample above keeps " + rows_word(report.counterexample_rows)
                + ", and removing any one of them makes the two agree.\n";
    }
    for (const std::string& note : report.notes)
        out += "Note: " + note + "\n";
    return out;
}

std::string report_json(const check_report& report)
{
    bool differs = report.verdict == check_verdict::differs;
    std::string out = "{\"verdict\": ";
    out += differs ? "\"differs\"" : "\"same\"";
    if (differs)
        out += std::string(", \"where\": ") + (report.where == check_where::given ? "\"given\"" : "\"generated\"");
    out += ", \"counterexample\": " + json_string(report.counterexample);
    out += ", \"reference\": " + json_string(cut(report.reference));
    out += ", \"answer\": " + json_string(cut(report.answer));
    out += ", \"notes\": " + json_strings(report.notes);
    out += ", \"instances\": " + std::to_string(report.instances);
    return out + "}\n";
}

} // namespace qorvantel
