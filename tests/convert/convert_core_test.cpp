// The converter's core below its command line: field shapes, type lists,
// the CSV reader's records and lines, and the names it suggests. The
// command-line cases (tests/convert/*.cases) show the messages; these pin
// the pieces' answers where no message shows them.
#include "convert/csv_import.h"
#include "convert/csv_reader.h"
#include "convert/field_text.h"
#include "convert/names.h"
#include "text/failure.h"

#include <gtest/gtest.h>

namespace qorvantel {
namespace {

TEST(FieldText, ShapesAndIntegers)
{
    struct shape_case {
        const char* field;
        field_shape shape;
        std::optional<std::int32_t> integer;
    };
    const shape_case cases[] = {
        {"0", field_shape::integer, 0},
        {"-7", field_shape::integer, -7},
        {"2147483647", field_shape::integer, 2147483647},
        {"-2147483647", field_shape::integer, -2147483647},
        {"2147483648", field_shape::big_integer, std::nullopt},
        {"-2147483648", field_shape::big_integer, std::nullopt},
        {"007", field_shape::text, std::nullopt},
        {"+5", field_shape::text, std::nullopt},
        {"4.5", field_shape::decimal, std::nullopt},
        {"1e5", field_shape::decimal, std::nullopt},
        {"10/10/98", field_shape::date, std::nullopt},
        {"12:30", field_shape::date, std::nullopt},
        {"abc", field_shape::text, std::nullopt},
        {"", field_shape::text, std::nullopt},
    };
    for (const shape_case& each : cases) {
        EXPECT_EQ(shape_of(each.field), each.shape) << each.field;
        if (each.shape == field_shape::integer) {
            EXPECT_EQ(integer_of(each.field), each.integer) << each.field;
        }
    }
}

TEST(TypeRequests, ReadsEachEntryAndRefusesWhatIsNoType)
{
    std::vector<type_request> read = parse_type_requests("a=int,b=char,c=char(5),x=y=char(2)");
    ASSERT_EQ(read.size(), 4u);
    EXPECT_TRUE(read[0].integer);
    EXPECT_FALSE(read[1].integer);
    EXPECT_FALSE(read[1].length);
    EXPECT_EQ(read[2].length, 5u);
    EXPECT_EQ(read[3].column, "x=y") << "the name is everything before the last =";
    struct refused {
        const char* types;
        const char* message;
    };
    const refused cases[] = {
        {"a", "--types: \"a\" is not COLUMN=TYPE with TYPE int, char or char(n)"},
        {"=int", "--types: \"=int\" is not COLUMN=TYPE with TYPE int, char or char(n)"},
        {"a=char()", "--types: \"a=char()\" is not COLUMN=TYPE with TYPE int, char or char(n)"},
        {"a=char(+3)", "--types: \"a=char(+3)\" is not COLUMN=TYPE with TYPE int, char or char(n)"},
        {"a=char(0)", "--types: the width 0 of a is out of range (1 to 2147483647)"},
        {"a=char(2147483648)", "--types: the width 2147483648 of a is out of range (1 to 2147483647)"},
        {"a=int,", "--types: \"\" is not COLUMN=TYPE with TYPE int, char or char(n)"},
    };
    for (const refused& each : cases) {
        try {
            parse_type_requests(each.types);
            ADD_FAILURE() << each.types << " was read";
        } catch (const tool_error& error) {
            EXPECT_EQ(error.kind(), failure_kind::setup) << each.types;
            EXPECT_EQ(std::string(error.what()), each.message) << each.types;
        }
    }
}

TEST(CsvReader, RecordsWithTheLineEachFieldBeginsOn)
{
    csv_reader reader("\xef\xbb\xbf"
                      "a,\"b\nc\",\"d\"\"e\"\r\n\n,x\n",
                      "f.csv");
    std::vector<csv_field> fields;
    ASSERT_TRUE(reader.next(fields));
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].text, "a");
    EXPECT_EQ(fields[1].text, "b\nc");
    EXPECT_TRUE(fields[1].quoted);
    EXPECT_EQ(fields[2].text, "d\"e");
    EXPECT_EQ(fields[2].line, 2u) << "after the line end inside the quotes";
    std::vector<std::vector<std::string>> rest;
    while (reader.next(fields)) {
        rest.emplace_back();
        for (const csv_field& each : fields)
            rest.back().emplace_back(each.text);
    }
    EXPECT_EQ(rest, (std::vector<std::vector<std::string>>{{""}, {"", "x"}}));
}

TEST(Names, ProblemsAndSuggestions)
{
    struct name_case {
        const char* name;
        name_role role;
        bool usable;
        const char* suggested;
    };
    const name_case cases[] = {
        {"Sailor", name_role::relation, true, "Sailor"},        {"a.b-c", name_role::column, true, "a.b-c"},
        {"first name", name_role::column, false, "first_name"}, {"2020", name_role::column, false, nullptr},
        {"select", name_role::column, false, "Select"},         {"unionized", name_role::relation, false, "Unionized"},
        {"minus1", name_role::relation, false, "Minus1"},       {"unionized", name_role::column, true, "unionized"},
    };
    for (const name_case& each : cases) {
        EXPECT_EQ(name_problem(each.name, each.role).empty(), each.usable) << each.name;
        std::string suggested = suggested_name(each.name, each.role);
        EXPECT_TRUE(name_problem(suggested, each.role).empty()) << each.name << " -> " << suggested;
        if (each.suggested != nullptr && !each.usable) {
            EXPECT_EQ(suggested, each.suggested) << each.name;
        }
    }
    EXPECT_EQ(relation_name_of_file("dir/x.y/people.csv"), "people");
    EXPECT_EQ(relation_name_of_file(".hidden"), ".hidden");
    EXPECT_EQ(relation_name_of_file("a.tar.gz"), "a.tar");
}

} // namespace
} // namespace qorvantel
