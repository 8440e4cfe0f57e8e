// The words Tab completes: the language's keywords and the environment's
// names, each once, and the choice of those that extend a prefix.
#include "driver/completion.h"

#include "parsing/words.h"
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

TEST(CompletionTest, AnEmptyEnvironmentOffersEveryWordButTheTypeNames)
{
    environment empty;
    words expected;
    for (const language_word& each : language_words)
        if (each.role != word_role::type_name)
            expected.emplace_back(each.text);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(completion_words(empty), expected);
}

TEST(CompletionTest, TheColumnsInScopeComeFirst)
{
    text input("R(id int, name char(9))\nS(sid int, nick char(4))\n");
    text::iterator position = input.begin();
    shared<environment> loaded = parsing<environment>::require("environment", position);
    completer complete(*loaded);
    struct {
        const char* before;
        const char* scope;
    } scopes[] = {
        {"project(R, ", "R"},
        {"project( S ,name, ", "S"},
        {"select(R, AND(GT(", "R"},
        {"select(R, AND(GT(id, 1), EQ(", "R"},
        {"union(R, project(S, ", "S"},
        {"project(select(R, GT(id, 1)), ", ""}, // the argument is no relation name
        {"select(R", ""},
        {"rename(R, T(", ""},
        {"", ""},
    };
    for (const auto& each : scopes)
        EXPECT_EQ(relation_in_scope(each.before), each.scope) << each.before;

    EXPECT_EQ(complete.matches("project(S, ", "n"), (words{"nick", "name"}));
    EXPECT_EQ(complete.matches("project(R, ", "n"), (words{"name", "nick"}));
    words all = complete.matches("project(S, ", "");
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0], "nick");
    EXPECT_EQ(all[1], "sid");
    EXPECT_EQ(all.size(), completion_words(*loaded).size());
}

} // namespace
} // namespace qorvantel
