// Feeds arbitrary bytes to from-csv's reader and converter, as the contents
// of a CSV file. A clear error (std::runtime_error) is the expected outcome
// for most inputs; a crash, a sanitizer report, a leak or another exception
// is a finding.
//
// Invariant checked when the conversion succeeds: the environment text it
// wrote reads back in the interpreter's own reader with nothing left over,
// as one relation whose rows are the file's records.
#include "convert/csv_import.h"
#include "relations/environment.h"
#include "text/diagnostics.h"
#include "text/text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <string>

using namespace qorvantel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string converted;
    try {
        std::set<std::string> used;
        converted = relation_from_csv(bytes, "fuzz.csv", "fuzz", {}, used);
    } catch (const std::runtime_error&) {
        return 0;
    }
    try {
        text input(converted);
        text::iterator position = input.begin();
        shared<environment> read = parsing<environment>::require("environment", position);
        expect_end(position);
        if (read->relations().size() != 1) {
            std::fprintf(stderr, "from-csv wrote %zu relations\n", read->relations().size());
            std::abort();
        }
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "from-csv wrote text the reader rejects: %s\n", error.what());
        std::abort();
    }
    return 0;
}
