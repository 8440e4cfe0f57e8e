// The check report's two written forms.
#include "check/check_report.h"

#include "check/json_text.h"

#include <algorithm>

namespace qorvantel {

namespace {
std::string rows_word(std::size_t n) { return std::to_string(n) + (n == 1 ? " row" : " rows"); }

// A result as the console writes it (its schema line, then a line per
// row), cut after report_shown_rows rows with the count of the rest and of all.
std::string cut(const std::string& result)
{
    std::size_t end = result.find('\n');
    for (std::size_t i = 0; i < report_shown_rows && end != std::string::npos; ++i)
        end = result.find('\n', end + 1);
    if (end == std::string::npos)
        return result;
    // The console ends a relation with an empty line: no row, and kept
    // after the count.
    std::string tail = result.substr(end + 1);
    bool blank_end = tail.size() >= 1 && tail.back() == '\n' && (tail.size() == 1 || tail[tail.size() - 2] == '\n');
    auto rest = static_cast<std::size_t>(std::count(tail.begin(), tail.end(), '\n')) - (blank_end ? 1 : 0);
    if (rest == 0)
        return result;
    return result.substr(0, end + 1) + "... and " + rows_word(rest) + " more, "
        + std::to_string(report_shown_rows + rest) + " in all\n" + (blank_end ? "\n" : "");
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
std::string range_text(const source_range& place)
{
    if (place.line == place.end_line)
        return "line " + std::to_string(place.line) + ", column" + (place.column == place.end_column ? " " : "s ")
            + std::to_string(place.column)
            + (place.column == place.end_column ? "" : " to " + std::to_string(place.end_column));
    return "line " + std::to_string(place.line) + ", column " + std::to_string(place.column) + " to line "
        + std::to_string(place.end_line) + ", column " + std::to_string(place.end_column);
}

std::string list_text(const std::vector<std::string>& parts)
{
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i)
        out += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return out;
}

// Under the tables: the part at fault, then a line per differing row.
std::string explanation_text(const check_report& report)
{
    std::string out;
    if (report.fault)
        out += "The answer goes wrong at " + range_text(report.fault->place) + ": " + report.fault->message + ".\n";
    const std::size_t said_rows = 10;
    for (std::size_t i = 0; i < report.differences.size() && i < said_rows; ++i) {
        const row_difference& each = report.differences[i];
        const char* side = each.in_answer ? "answer" : "reference";
        const char* other = each.in_answer ? "reference" : "answer";
        out += std::string("Row ") + (each.row.empty() ? "()" : each.row) + " is in the " + side + "'s result only";
        if (!each.why.empty())
            out += ", made from " + list_text(each.why);
        if (!each.dropped_by.empty())
            out += std::string("; the ") + other + " drops it at " + each.dropped_by;
        out += ".\n";
    }
    if (report.differences.size() > said_rows)
        out += "... and " + rows_word(report.differences.size() - said_rows) + " more in which they differ.\n";
    return out;
}

std::string fault_json(const answer_fault& fault)
{
    return "{\"line\": " + std::to_string(fault.place.line) + ", \"column\": " + std::to_string(fault.place.column)
        + ", \"end_line\": " + std::to_string(fault.place.end_line) + ", \"end_column\": "
        + std::to_string(fault.place.end_column) + ", \"message\": " + json_string(fault.message) + "}";
}

std::string differences_json(const std::vector<row_difference>& differences)
{
    std::string out = "[";
    for (std::size_t i = 0; i < differences.size(); ++i) {
        const row_difference& each = differences[i];
        out += std::string(i > 0 ? ", " : "") + "{\"row\": " + json_string(each.row)
            + ", \"in\": " + (each.in_answer ? "\"answer\"" : "\"reference\"") + ", \"why\": " + json_strings(each.why);
        if (!each.dropped_by.empty())
            out += ", \"dropped_by\": " + json_string(each.dropped_by);
        out += "}";
    }
    return out + "]";
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
            out += "the answer agrees with the reference on the given database, but not on a database made for this "
                   "check";
        if (report.counterexample_rows == 0)
            out += "; they differ even when every relation is empty.\n";
        else
            out += "; the counterexample above keeps " + rows_word(report.counterexample_rows)
                + ", and removing any one of them makes the two agree.\n";
        out += explanation_text(report);
    }
    if (report.guarantee != check_guarantee::none)
        out += guarantee_words(report) + "\n";
    if (!report.reference_failed.message.empty())
        out += "Warning: " + reference_failure_words(report);
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
    if (report.guarantee != check_guarantee::none)
        out += std::string(", \"guarantee\": \"") + guarantee_name(report.guarantee) + "\"";
    if (report.guarantee == check_guarantee::bounded)
        out += ", \"bound\": " + std::to_string(report.bound);
    if (!report.reference_failed.message.empty())
        out += ", \"reference_fails\": {\"database\": " + json_string(report.reference_failed.database)
            + ", \"message\": " + json_string(report.reference_failed.message) + "}";
    if (differs) {
        if (report.fault)
            out += ", \"fault\": " + fault_json(*report.fault);
        out += ", \"difference\": " + differences_json(report.differences);
    }
    return out + "}\n";
}

} // namespace qorvantel
