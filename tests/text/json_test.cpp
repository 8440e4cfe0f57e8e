// The one JSON writer: UTF-8 written as UTF-8, everything else escaped.
#include "text/json.h"

#include <gtest/gtest.h>

namespace qorvantel {
namespace {

struct json_case {
    const char* name;
    std::string text;
    std::string written;
};

TEST(Json, WritesUtf8AsUtf8AndEscapesTheRest)
{
    const json_case cases[] = {
        {"plain ASCII", "abc", "\"abc\""},
        {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
        {"named controls", "\n\t\r", "\"\\n\\t\\r\""},
        {"other controls and DEL", std::string("\x01\x1f\x7f", 3) + std::string(1, '\0'),
         "\"\\u0001\\u001f\\u007f\\u0000\""},
        {"two-byte character", "caf\xc3\xa9", "\"caf\xc3\xa9\""},
        {"three-byte character", "\xe2\x82\xac", "\"\xe2\x82\xac\""},
        {"four-byte character", "\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},
        {"a lone continuation byte", "a\x80z", "\"a\xef\xbf\xbdz\""},
        {"a lead byte cut short", "\xc3", "\"\xef\xbf\xbd\""},
        {"an overlong form", "\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
        {"a surrogate", "\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
        {"past U+10FFFF", "\xf4\x90\x80\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
    };
    for (const json_case& each : cases)
        EXPECT_EQ(json_string(each.text), each.written) << each.name;
}

TEST(Json, ArraysAndTheWriter)
{
    EXPECT_EQ(json_strings({}), "[]");
    EXPECT_EQ(json_strings({"x", "\xc3\xa9"}), "[\"x\", \"\xc3\xa9\"]");
    json_writer out;
    out.begin_object().key("a").number(1).key("b").begin_array().string("\xc3\xa9").boolean(true).end_array();
    out.end_object();
    EXPECT_EQ(out.result(), "{\"a\":1,\"b\":[\"\xc3\xa9\",true]}");
}

} // namespace
} // namespace qorvantel
