// The words Tab completes at the console.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qorvantel {

class environment;

// Characters that end a word for completion: blanks and the punctuation of
// argument lists, so that "select(Em" completes "Em".
constexpr const char* completion_word_breaks = " \t\n(),";

// The operator and condition keywords and the environment's relation and
// column names, sorted by their bytes, each once.
std::vector<std::string> completion_words(const environment& loaded);

// The words that start with prefix, in order.
std::vector<std::string> words_starting_with(const std::vector<std::string>& words, std::string_view prefix);

// The completions of one environment, with a little context: a word typed
// where a column of a named relation is expected ("project(R, " or
// "select(R, GT(") is offered that relation's columns before every other
// word.
class completer {
public:
    completer() = default;
    explicit completer(const environment& loaded);

    // before is the line up to the word being completed.
    std::vector<std::string> matches(std::string_view before, std::string_view prefix) const;

private:
    std::vector<std::string> words_;
    std::map<std::string, std::vector<std::string>, std::less<>> columns_; // by relation, sorted
};

// The relation whose columns are in scope at the end of before: the
// argument of the innermost select or project still open there, when that
// argument is a relation's name alone; empty otherwise.
std::string_view relation_in_scope(std::string_view before);

} // namespace qorvantel
