// The join's conjunct compiler: the same comparators and the same logic as a
// bound condition, reading each column from the operand that holds it.
#include "algebra/join_conjuncts.h"

#include <algorithm>
#include <stdexcept>

namespace qorvantel {

namespace {
class logical_test final : public conjunct_test {
public:
    logical_test(const logical_operator& op, std::vector<std::unique_ptr<conjunct_test>> arguments)
        : op_(op), arguments_(std::move(arguments))
    {
    }

    bool test(const row* const* parts) const override
    {
        for (const auto& argument : arguments_)
            if (argument->test(parts) == op_.stop_on)
                return op_.result_on_stop;
        return !op_.result_on_stop;
    }

private:
    const logical_operator& op_;
    std::vector<std::unique_ptr<conjunct_test>> arguments_;
};

// An operand of a comparison: a literal, or a column of an operand's row.
struct comparand {
    const shared<value>* literal;
    column_place place;
};

class comparison_test final : public conjunct_test {
public:
    comparison_test(comparator_function comparator, std::vector<comparand> operands)
        : comparator_(comparator), operands_(std::move(operands))
    {
    }

    bool test(const row* const* parts) const override
    {
        for (std::size_t i = 0; i + 1 < operands_.size(); ++i)
            if (!comparator_(resolve(operands_[i], parts), resolve(operands_[i + 1], parts)))
                return false;
        return true;
    }

private:
    static const shared<value>& resolve(const comparand& operand, const row* const* parts)
    {
        return operand.literal != nullptr ? *operand.literal : (*parts[operand.place.operand])[operand.place.column];
    }

    comparator_function comparator_;
    std::vector<comparand> operands_;
};

class compiler {
public:
    compiler(const schema& product_schema, const std::vector<std::size_t>& offsets)
        : schema_(product_schema), offsets_(offsets)
    {
    }

    // Compiles one conjunct and notes the operands it reads.
    compiled_conjunct conjunct(const condition& source)
    {
        compiled_conjunct made;
        read_.clear();
        made.test = compile(source);
        if (!read_.empty()) {
            made.reads_columns = true;
            made.first_operand = std::min_element(read_.begin(), read_.end(), by_operand)->operand;
            made.last_operand = std::max_element(read_.begin(), read_.end(), by_operand)->operand;
        }
        if (source.kind() == condition_kind::comparison && source.comparison() == comparison_operator::eq
            && source.comparands().size() == 2 && read_.size() == 2 && read_[0].operand != read_[1].operand) {
            made.pairs_operands = true;
            bool in_order = read_[0].operand < read_[1].operand;
            made.earlier = in_order ? read_[0] : read_[1];
            made.later = in_order ? read_[1] : read_[0];
        }
        return made;
    }

private:
    static bool by_operand(const column_place& a, const column_place& b) { return a.operand < b.operand; }

    std::unique_ptr<conjunct_test> compile(const condition& source)
    {
        if (source.kind() != condition_kind::comparison) {
            const logical_operator* op = logical_operators();
            while (op->word.word() != nullptr && op->kind != source.kind())
                ++op;
            std::vector<std::unique_ptr<conjunct_test>> arguments;
            for (const auto& argument : source.arguments())
                arguments.push_back(compile(*argument));
            return std::make_unique<logical_test>(*op, std::move(arguments));
        }
        const arithmetic_operator* op = arithmetic_operators();
        while (op->comparator != nullptr && op->meaning != source.comparison())
            ++op;
        std::vector<shared<value>> names;
        for (const auto& each : source.comparands())
            if (each->kind() == value_kind::symbol)
                names.push_back(each);
        std::vector<std::optional<std::size_t>> found = find_columns(schema_, names);
        std::vector<comparand> operands;
        std::size_t next_name = 0;
        for (const auto& each : source.comparands()) {
            if (each->kind() != value_kind::symbol) {
                operands.push_back(comparand{&each, column_place{0, 0}});
                continue;
            }
            const std::optional<std::size_t>& index = found[next_name++];
            if (!index)
                throw std::logic_error("join conjunct over a column the product lacks");
            std::size_t operand = static_cast<std::size_t>(std::upper_bound(offsets_.begin(), offsets_.end(), *index)
                                                           - offsets_.begin() - 1);
            column_place place{operand, *index - offsets_[operand]};
            read_.push_back(place);
            operands.push_back(comparand{nullptr, place});
        }
        return std::make_unique<comparison_test>(op->comparator, std::move(operands));
    }

    const schema& schema_;
    const std::vector<std::size_t>& offsets_;
    std::vector<column_place> read_;
};

void split_conjuncts(const shared<condition>& source, std::vector<const condition*>& conjuncts)
{
    if (source->kind() != condition_kind::conjunction) {
        conjuncts.push_back(source.get());
        return;
    }
    for (const auto& argument : source->arguments())
        split_conjuncts(argument, conjuncts);
}
} // namespace

std::vector<compiled_conjunct> compile_conjuncts(const std::vector<shared<condition>>& conditions,
                                                 const schema& product_schema,
                                                 const std::vector<std::size_t>& operand_offsets)
{
    std::vector<const condition*> conjuncts;
    for (const auto& each : conditions)
        split_conjuncts(each, conjuncts);
    compiler compile(product_schema, operand_offsets);
    std::vector<compiled_conjunct> made;
    made.reserve(conjuncts.size());
    for (const condition* each : conjuncts)
        made.push_back(compile.conjunct(*each));
    return made;
}

} // namespace qorvantel
