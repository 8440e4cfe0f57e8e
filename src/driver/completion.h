// The words Tab completes at the console.
#pragma once

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

} // namespace qorvantel
