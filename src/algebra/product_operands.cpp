// Gathering a product's operands: the disjointness test of its schemas.
#include "algebra/product_operands.h"

#include "text/diagnostics.h"

#include <set>

namespace qorvantel {

namespace {
struct value_order {
    bool operator()(const value* a, const value* b) const { return value_less(*a, *b); }
};
} // namespace

product_operands gather_product_operands(std::size_t count, const std::function<shared<relation>(std::size_t)>& term)
{
    product_operands gathered;
    gathered.relations.reserve(count);
    shared<relation> first = term(0);
    gathered.columns = first->relation_schema()->columns();
    std::set<const value*, value_order> names;
    for (const auto& each : gathered.columns)
        names.insert(each->name().get());
    gathered.relations.push_back(std::move(first));
    for (std::size_t i = 1; i < count; ++i) {
        shared<relation> next = term(i);
        const schema& right_schema = *next->relation_schema();
        // Any common name makes the schemas non-disjoint.
        for (const auto& each : right_schema.columns()) {
            if (names.count(each->name().get()) != 0) {
                if (i == 1)
                    throw_non_disjoint(*gathered.relations.front()->relation_schema(), right_schema);
                throw_non_disjoint(schema(shared<value>(), gathered.columns), right_schema);
            }
        }
        for (const auto& each : right_schema.columns()) {
            names.insert(each->name().get());
            gathered.columns.push_back(each);
        }
        gathered.relations.push_back(std::move(next));
    }
    return gathered;
}

void throw_non_disjoint(const schema& so_far, const schema& next)
{
    error_message message;
    message << "Cannot product non-disjoint schemas: " << so_far << " and " << next << ".";
    throw_message(message);
}

} // namespace qorvantel
