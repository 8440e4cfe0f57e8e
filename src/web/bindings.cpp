// The module's functions as JavaScript sees them. Strings cross as bytes
// (one character per byte), which the module is built to expect.
#include "web/session.h"

#include <emscripten/bind.h>

#include <string>

namespace {

qorvantel::web_session& the_session()
{
    static qorvantel::web_session session;
    return session;
}

std::string load_environment(const std::string& content) { return the_session().load_environment(content); }
std::string environment_json() { return the_session().environment_json(); }
std::string console_line(const std::string& line) { return the_session().console_line(line); }
std::string run_json(const std::string& line, unsigned text_limit, unsigned row_limit)
{
    return the_session().run_json(line, text_limit, row_limit);
}
std::string result_file(const std::string& line, const std::string& format)
{
    return the_session().result_file(line, format);
}
std::string completions(const std::string& before, const std::string& prefix)
{
    return the_session().completions_json(before, prefix);
}
std::string words() { return qorvantel::words_json(); }
std::string version() { return qorvantel::web_version(); }

} // namespace

EMSCRIPTEN_BINDINGS(qorvantel)
{
    emscripten::function("loadEnvironment", &load_environment);
    emscripten::function("environmentJson", &environment_json);
    emscripten::function("consoleLine", &console_line);
    emscripten::function("runJson", &run_json);
    emscripten::function("resultFile", &result_file);
    emscripten::function("completions", &completions);
    emscripten::function("wordsJson", &words);
    emscripten::function("version", &version);
}
