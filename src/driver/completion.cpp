// The words Tab completes at the console.
#include "driver/completion.h"

#include "parsing/keywords.h"
#include "relations/environment.h"

#include <algorithm>
#include <initializer_list>
#include <sstream>

namespace qorvantel {

namespace {
std::string name_text(const value& name)
{
    if (name.kind() == value_kind::symbol)
        return static_cast<const symbol_value&>(name).content();
    std::ostringstream written;
    written << name;
    return written.str();
}
} // namespace

std::vector<std::string> completion_words(const environment& loaded)
{
    const language_keywords& words = keywords();
    std::vector<std::string> result{words.union_word.word(),  words.minus_word.word(),   words.product_word.word(),
                                    words.select_word.word(), words.project_word.word(), words.rename_word.word()};
    // The condition keywords live in the condition operators' tables.
    for (const char* each : {"NOT", "AND", "OR", "EQ", "NEQ", "LT", "LTE", "GT", "GTE"})
        result.emplace_back(each);
    for (const auto& [name, bound] : loaded.relations()) {
        result.push_back(name_text(*name));
        for (const auto& each : bound->relation_schema()->columns())
            result.push_back(name_text(*each->name()));
    }
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}

std::vector<std::string> words_starting_with(const std::vector<std::string>& words, std::string_view prefix)
{
    std::vector<std::string> result;
    for (auto each = std::lower_bound(words.begin(), words.end(), prefix);
         each != words.end() && std::string_view(*each).substr(0, prefix.size()) == prefix; ++each)
        result.push_back(*each);
    return result;
}

} // namespace qorvantel
