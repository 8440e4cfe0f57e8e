// The words Tab completes at the console.
#include "driver/completion.h"

#include "parsing/words.h"
#include "relations/environment.h"

#include <algorithm>
#include <cctype>
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
    // Every word of the language but the type names, which a console line
    // never holds.
    std::vector<std::string> result;
    for (const language_word& each : language_words)
        if (each.role != word_role::type_name)
            result.emplace_back(each.text);
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

completer::completer(const environment& loaded) : words_(completion_words(loaded))
{
    for (const auto& [name, bound] : loaded.relations()) {
        std::vector<std::string>& columns = columns_[name_text(*name)];
        for (const auto& each : bound->relation_schema()->columns())
            columns.push_back(name_text(*each->name()));
        std::sort(columns.begin(), columns.end());
    }
}

std::vector<std::string> completer::matches(std::string_view before, std::string_view prefix) const
{
    std::vector<std::string> result;
    auto scope = columns_.find(relation_in_scope(before));
    if (scope != columns_.end())
        result = words_starting_with(scope->second, prefix);
    for (std::string& each : words_starting_with(words_, prefix))
        if (std::find(result.begin(), result.end(), each) == result.end())
            result.push_back(std::move(each));
    return result;
}

std::string_view relation_in_scope(std::string_view before)
{
    // Back to the innermost bracket still open, then out through any
    // condition brackets to the select or project that holds them.
    std::size_t depth = 0;
    for (std::size_t i = before.size(); i > 0; --i) {
        char c = before[i - 1];
        if (c == ')') {
            ++depth;
        } else if (c == '(' && depth > 0) {
            --depth;
        } else if (c == '(') {
            std::size_t word_end = i - 1;
            std::size_t word_start = word_end;
            while (word_start > 0 && std::isalpha(static_cast<unsigned char>(before[word_start - 1])))
                --word_start;
            std::string_view opened = before.substr(word_start, word_end - word_start);
            if (opened != word(word_id::select).text && opened != word(word_id::project).text)
                continue; // a condition's bracket: look further out
            std::string_view argument = before.substr(i);
            std::size_t comma = argument.find(',');
            if (comma == std::string_view::npos)
                return {};
            argument = argument.substr(0, comma);
            while (!argument.empty() && std::isspace(static_cast<unsigned char>(argument.front())))
                argument.remove_prefix(1);
            while (!argument.empty() && std::isspace(static_cast<unsigned char>(argument.back())))
                argument.remove_suffix(1);
            // Only a relation's name alone has columns known before the line runs.
            for (char each : argument)
                if (!std::isalnum(static_cast<unsigned char>(each)) && each != '_')
                    return {};
            return argument;
        }
    }
    return {};
}

} // namespace qorvantel
