// Node results recorded from the walk.
#include "check/node_results.h"

#include "algebra/observed_evaluation.h"
#include "check/database.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace qorvantel {

namespace {
// Keeps every node's result that the walk builds, so that asking for an
// operand after its node costs nothing.
class recorder final : public expression_observer {
public:
    explicit recorder(std::map<const expression*, shared<relation>>& into) : into_(into) {}
    void evaluated(const expression& node, const node_step& step, const std::vector<node_result>&,
                   const node_result& result) override
    {
        if (step.last && !result.built().empty())
            into_.emplace(&node, result.built());
    }

private:
    std::map<const expression*, shared<relation>>& into_;
};
} // namespace

shared<relation> node_results::of(const shared<expression>& node)
{
    auto found = built_.find(node.get());
    if (found != built_.end())
        return found->second;
    recorder listening(built_);
    shared<relation> result;
    try {
        result = evaluate_observed(node, on_, listening);
    } catch (const std::bad_alloc&) {
    } catch (const std::runtime_error&) {
    }
    built_[node.get()] = result;
    return result;
}

bool same_rows(const relation& a, const relation& b)
{
    const row_list& x = a.relation_table()->rows();
    const row_list& y = b.relation_table()->rows();
    return x.size() == y.size()
        && std::equal(x.begin(), x.end(), y.begin(),
                      [](const shared<row>& p, const shared<row>& q) { return row_compare(*p, *q) == 0; });
}

bool holds_row(const relation& in, const row& wanted)
{
    const row_list& rows = in.relation_table()->rows();
    return std::any_of(rows.begin(), rows.end(),
                       [&](const shared<row>& each) { return row_compare(*each, wanted) == 0; });
}

std::string row_text(const row& written_row)
{
    std::string text = written(written_row);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace qorvantel
