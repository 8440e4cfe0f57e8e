// The side-by-side walk of two trees.
#include "check/fault_alignment.h"

#include "check/database.h"

#include <algorithm>
#include <string>
#include <vector>

namespace qorvantel {

namespace {
std::vector<std::string> written_all(const std::vector<shared<value>>& values)
{
    std::vector<std::string> out;
    for (const shared<value>& each : values)
        out.push_back(written(*each));
    return out;
}

bool comparisons_alike(const condition& a, const condition& b)
{
    std::vector<std::string> x = written_all(a.comparands()), y = written_all(b.comparands());
    if (a.comparison() == b.comparison() && x == y)
        return true;
    std::reverse(y.begin(), y.end());
    return x.size() == 2 && a.comparison() == mirrored(b.comparison()) && x == y;
}

// The arguments of a that no argument of b matches, each match used once.
std::vector<const condition*> unmatched(const condition& a, const condition& b)
{
    std::vector<bool> used(b.arguments().size(), false);
    std::vector<const condition*> left;
    for (const shared<condition>& part : a.arguments()) {
        bool found = false;
        for (std::size_t j = 0; !found && j < used.size(); ++j)
            if (!used[j] && alike(*part, *b.arguments()[j]))
                used[j] = found = true;
        if (!found)
            left.push_back(part.get());
    }
    return left;
}

// Each place is the same projected column written for the same other one.
bool same_column_throughout(const std::vector<tree_place>& places)
{
    auto columns = [](const tree_place& place) {
        const auto& mine = place.answer->listed_columns();
        const auto& theirs = place.reference->listed_columns();
        if (mine.size() != theirs.size() || place.index >= mine.size())
            return std::string();
        return written(*mine[place.index]) + " " + written(*theirs[place.index]);
    };
    return std::all_of(places.begin(), places.end(), [&](const tree_place& place) {
        return place.kind == departure::column && !columns(place).empty() && columns(place) == columns(places.front());
    });
}

struct aligner {
    std::optional<tree_place> in_condition(const shared<expression>& ref_select, const shared<expression>& ans_select,
                                           const condition& r, const condition& a)
    {
        tree_place place;
        place.kind = departure::condition;
        place.answer = ans_select;
        place.reference = ref_select;
        place.answer_condition = &a;
        place.reference_condition = &r;
        if (alike(r, a))
            return std::nullopt;
        bool r_logical = r.kind() != condition_kind::comparison, a_logical = a.kind() != condition_kind::comparison;
        if (r.kind() == condition_kind::comparison && a.kind() == condition_kind::comparison) {
            if (r.comparands().size() != a.comparands().size())
                return place;
            std::vector<std::string> x = written_all(r.comparands()), y = written_all(a.comparands());
            std::size_t differing = 0;
            for (std::size_t i = 0; i < x.size(); ++i)
                if (x[i] != y[i]) {
                    ++differing;
                    place.index = i;
                }
            place.kind = differing == 0                              ? departure::comparison
                : differing == 1 && r.comparison() == a.comparison() ? departure::comparand
                                                                     : departure::comparison;
            return place;
        }
        if (r.kind() == condition_kind::conjunction && a.kind() != condition_kind::conjunction) {
            // A conjunction cut down to one of its parts.
            for (const shared<condition>& part : r.arguments())
                if (alike(*part, a)) {
                    place.kind = departure::missing;
                    place.reference_condition = r.arguments().size() == 2 ? other_part(r, *part) : &r;
                    return place;
                }
        }
        if (a.kind() == condition_kind::conjunction && r.kind() != condition_kind::conjunction) {
            for (const shared<condition>& part : a.arguments())
                if (alike(*part, r) && a.arguments().size() == 2) {
                    place.kind = departure::extra;
                    place.answer_condition = other_part(a, *part);
                    return place;
                }
        }
        if (!r_logical || !a_logical || r.kind() == condition_kind::negation || a.kind() == condition_kind::negation)
            return place;
        std::vector<const condition*> lost = unmatched(r, a), added = unmatched(a, r);
        if (r.kind() != a.kind()) {
            place.kind = departure::connective;
            return place;
        }
        if (added.empty() && lost.size() == 1) {
            place.kind = departure::missing;
            place.reference_condition = lost.front();
        } else if (lost.empty() && added.size() == 1) {
            place.kind = departure::extra;
            place.answer_condition = added.front();
            place.reference_condition = nullptr;
        } else if (lost.size() == 1 && added.size() == 1) {
            return in_condition(ref_select, ans_select, *lost.front(), *added.front());
        }
        return place;
    }

    static const condition* other_part(const condition& pair, const condition& one)
    {
        return pair.arguments()[0].get() == &one ? pair.arguments()[1].get() : pair.arguments()[0].get();
    }

    std::optional<tree_place> in_expression(const shared<expression>& r, const shared<expression>& a,
                                            const shared<expression>& parent)
    {
        tree_place whole;
        whole.answer = a;
        whole.reference = r;
        whole.answer_parent = parent;
        if (r->kind() != a->kind())
            return whole;
        std::vector<tree_place> found;
        expression_list rs = r->operands(), as = a->operands();
        switch (a->kind()) {
        case expression_kind::relation:
            if (written(*r->relation_name()) != written(*a->relation_name())) {
                whole.kind = departure::relation;
                return whole;
            }
            return std::nullopt;
        case expression_kind::select:
            if (auto place = in_condition(r, a, *r->predicate(), *a->predicate())) {
                place->answer_parent = parent;
                found.push_back(*place);
            }
            break;
        case expression_kind::project: {
            std::vector<std::string> x = written_all(r->listed_columns()), y = written_all(a->listed_columns());
            if (x.size() != y.size()) {
                // A column more or less: the first place where they part.
                whole.kind = departure::column;
                whole.index = static_cast<std::size_t>(
                    std::mismatch(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(std::min(x.size(), y.size())),
                                  y.begin())
                        .first
                    - x.begin());
                found.push_back(whole);
                break;
            }
            for (std::size_t i = 0; i < x.size(); ++i)
                if (x[i] != y[i]) {
                    tree_place column = whole;
                    column.kind = departure::column;
                    column.index = i;
                    found.push_back(column);
                }
            break;
        }
        case expression_kind::rename:
            if (written(*r->new_names()) != written(*a->new_names()))
                found.push_back(whole);
            break;
        case expression_kind::minus:
            if (rs.size() == 2 && as.size() == 2 && !in_expression(rs[0], as[1], a) && !in_expression(rs[1], as[0], a)
                && in_expression(rs[0], as[0], a)) {
                whole.kind = departure::swapped;
                return whole;
            }
            break;
        default:
            break;
        }
        if (rs.size() != as.size())
            return whole;
        for (std::size_t i = 0; i < rs.size(); ++i)
            if (auto place = in_expression(rs[i], as[i], a))
                found.push_back(*place);
        if (found.empty())
            return std::nullopt;
        if (found.size() == 1)
            return found.front();
        if (a->kind() == expression_kind::minus && same_column_throughout(found)) {
            // One column for another in every operand: the difference is
            // taken on the wrong column.
            tree_place column = found.front();
            column.answer_parent = a;
            column.across = true;
            return column;
        }
        return whole;
    }
};
} // namespace

bool alike(const condition& a, const condition& b)
{
    if (a.kind() != b.kind())
        return false;
    if (a.kind() == condition_kind::comparison)
        return comparisons_alike(a, b);
    return a.arguments().size() == b.arguments().size() && unmatched(a, b).empty();
}

std::optional<tree_place> align_trees(const shared<expression>& reference, const shared<expression>& answer)
{
    return aligner{}.in_expression(reference, answer, shared<expression>());
}

} // namespace qorvantel
