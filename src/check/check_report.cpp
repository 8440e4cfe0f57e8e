// The check report's two written forms.
#include "check/check_report.h"

#include "check/json_text.h"

namespace qorvantel {

namespace {
std::string rows_word(std::size_t n) { return std::to_string(n) + (n == 1 ? " row" : " rows"); }

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
        out += "The reference gives:\n" + indented(report.reference);
        out += "The answer gives:\n" + indented(report.answer);
        out += "Same: no difference found, on the given database (" + rows_word(report.given_rows) + ") or on "
            + std::to_string(report.instances) + " generated databases.\n";
    } else {
        out += "Counterexample:\n" + indented(report.counterexample);
        out += "The reference gives:\n" + indented(report.reference);
        out += "The answer gives:\n" + indented(report.answer);
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
    out += ", \"reference\": " + json_string(report.reference);
    out += ", \"answer\": " + json_string(report.answer);
    out += ", \"notes\": " + json_strings(report.notes);
    out += ", \"instances\": " + std::to_string(report.instances);
    if (report.guarantee != check_guarantee::none)
        out += std::string(", \"guarantee\": \"") + guarantee_name(report.guarantee) + "\"";
    if (report.guarantee == check_guarantee::bounded)
        out += ", \"bound\": " + std::to_string(report.bound);
    if (!report.reference_failed.message.empty())
        out += ", \"reference_fails\": {\"database\": " + json_string(report.reference_failed.database)
            + ", \"message\": " + json_string(report.reference_failed.message) + "}";
    return out + "}\n";
}

} // namespace qorvantel
