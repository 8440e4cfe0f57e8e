// Comparing a reference's and an answer's results.
#include "check/sameness.h"

#include "check/database.h"
#include "text/messages.h"

#include <new>
#include <stdexcept>

namespace qorvantel {

namespace {
const char* kind_name(type_kind kind)
{
    return kind == type_kind::integer ? "int" : kind == type_kind::string ? "char" : "symbol";
}

std::string kinds_of(const schema& of)
{
    std::string out = "(";
    for (std::size_t i = 0; i < of.columns().size(); ++i) {
        if (i > 0)
            out += ", ";
        out += kind_name(of.columns()[i]->column_type()->kind());
    }
    return out + ")";
}

std::string names_of(const schema& of)
{
    std::string out = "(";
    for (std::size_t i = 0; i < of.columns().size(); ++i) {
        if (i > 0)
            out += ", ";
        out += written(*of.columns()[i]->name());
    }
    return out + ")";
}
} // namespace

sameness compare_results(const relation& reference, const relation& answer, bool strict_names)
{
    sameness verdict;
    const schema& expected = *reference.relation_schema();
    const schema& given = *answer.relation_schema();
    if (expected.columns().size() != given.columns().size()) {
        verdict.same = false;
        verdict.notes.push_back("The answer has " + std::to_string(given.columns().size())
                                + " columns; the reference has " + std::to_string(expected.columns().size()) + ".");
        return verdict;
    }
    if (kinds_of(expected) != kinds_of(given)) {
        verdict.same = false;
        verdict.notes.push_back("The answer's columns are of the kinds " + kinds_of(given) + "; the reference's are "
                                + kinds_of(expected) + ".");
        return verdict;
    }
    if (names_of(expected) != names_of(given)) {
        if (strict_names)
            verdict.same = false;
        verdict.notes.push_back("The answer's columns are named " + names_of(given) + "; the reference's are "
                                + names_of(expected) + (strict_names ? "." : " (names are not compared)."));
    }
    // Both tables hold their rows in row order, each once, and the kinds
    // agree column by column: the same set is the same sequence.
    const row_list& a = reference.relation_table()->rows();
    const row_list& b = answer.relation_table()->rows();
    bool rows_same = a.size() == b.size();
    for (std::size_t i = 0; rows_same && i < a.size(); ++i)
        rows_same = row_compare(*a[i], *b[i]) == 0;
    if (!rows_same)
        verdict.same = false;
    return verdict;
}

std::string outcome::text() const { return failed() ? error + "\n" : written(*result); }

outcome evaluate_safely(const expression& query, const shared<environment>& on)
{
    outcome done;
    try {
        done.result = query.evaluate(on);
    } catch (const std::bad_alloc&) {
        done.error = messages::out_of_memory;
    } catch (const std::runtime_error& error) {
        done.error = error.what();
    }
    return done;
}

bool outcomes_differ(const outcome& reference, const outcome& answer, bool strict_names)
{
    if (reference.failed())
        return false;
    if (answer.failed())
        return true;
    return !compare_results(*reference.result, *answer.result, strict_names).same;
}

} // namespace qorvantel
