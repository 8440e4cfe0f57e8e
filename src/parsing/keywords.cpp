// The keywords of the language, created once.
#include "parsing/keywords.h"

namespace qorvantel {

namespace {
struct every_word {
    every_word()
    {
        for (const language_word& each : language_words)
            keyword reserved(each.text);
    }
};
} // namespace

const language_keywords& keywords()
{
    static const every_word reserved;
    static const language_keywords words;
    return words;
}

} // namespace qorvantel
