// The words Tab completes: the language's keywords and the environment's
// names, each once, and the choice of those that extend a prefix.
#include "driver/completion.h"

#include "relations/environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qorvantel {
namespace {

using words = std::vector<std::string>;

TEST(CompletionTest, WordsOfAnEnvironment)
{
    text input("Emp(id int, name char(9))\n1, 'a'\nEmployee(id int, boss int)\nDept(dno int)\n");
    text::iterator position = input.begin();
    shared<environment> loaded = parsing<environment>::require("environment", position);
    words all = completion_words(*loaded);

    // Sorted by bytes, each once: "id" stands in two schemas.
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
    EXPECT_EQ(std::count(all.begin(), all.end(), "id"), 1);

    struct {
        const char* prefix;
        words expected;
    } cases[] = {
        {"Em", {"Emp", "Employee"}},
        {"Emp", {"Emp", "Employee"}},
        {"Empl", {"Employee"}},
        {"G", {"GT", "GTE"}},
        {"sel", {"select"}},
        {"p", {"product", "project"}},
        {"N", {"NEQ", "NOT"}},
        {"bo", {"boss"}},
        {"D", {"Dept"}},
        {"x", {}},
        // Case matters, as it does in the language.
        {"emp", {}},
        {"char", {}},
    };
    for (const auto& each : cases)
        EXPECT_EQ(words_starting_with(all, each.prefix), each.expected) << each.prefix;
    EXPECT_EQ(words_starting_with(all, "").size(), all.size());
}

TEST(CompletionTest, AnEmptyEnvironmentOffersTheKeywords)
{
    environment empty;
    EXPECT_EQ(completion_words(empty).size(), 15u);
}

} // namespace
} // namespace qorvantel
