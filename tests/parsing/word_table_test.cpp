// The word table against what is derived from it and what must follow it:
// every word is reserved, the comparisons are tried in the table's order
// with no word tried after a longer word it begins, and the fuzz dictionary
// names every word.
#include "algebra/condition.h"
#include "parsing/keywords.h"
#include "parsing/words.h"
#include "values/value.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace qorvantel {
namespace {

TEST(WordTableTest, EveryWordIsReservedAndNoSymbol)
{
    keywords();
    for (const language_word& each : language_words) {
        text input(std::string(each.text) + " ");
        text::iterator position = input.begin();
        EXPECT_TRUE(parse_symbol(position).empty()) << each.text;
    }
}

TEST(WordTableTest, NoWordIsTriedAfterALongerWordItBegins)
{
    // Within one registry rank the words are tried in table order.
    for (std::size_t i = 0; i < language_word_count; ++i)
        for (std::size_t j = i + 1; j < language_word_count; ++j) {
            const language_word& first = language_words[i];
            const language_word& later = language_words[j];
            if (first.role != later.role || first.trial_rank != later.trial_rank)
                continue;
            EXPECT_FALSE(std::string_view(later.text).substr(0, std::string_view(first.text).size()) == first.text
                         && std::string_view(later.text) != first.text)
                << later.text << " is tried after " << first.text << ", which begins it";
        }
    std::size_t i = 0;
    for (const arithmetic_operator* op = arithmetic_operators(); op->comparator != nullptr; ++op, ++i) {
        while (language_words[i].role != word_role::comparison)
            ++i;
        EXPECT_STREQ(op->word.word(), language_words[i].text);
        EXPECT_EQ(op->meaning, language_words[i].meaning);
    }
}

TEST(WordTableTest, TheFuzzDictionaryNamesEveryWord)
{
    std::ifstream dictionary(QORVANTEL_SOURCE_DIR "/fuzz/qorvantel.dict");
    ASSERT_TRUE(dictionary) << "fuzz/qorvantel.dict not found";
    std::stringstream content;
    content << dictionary.rdbuf();
    for (const language_word& each : language_words)
        EXPECT_NE(content.str().find("\"" + std::string(each.text) + "\""), std::string::npos)
            << each.text << " is missing from fuzz/qorvantel.dict";
}

} // namespace
} // namespace qorvantel
