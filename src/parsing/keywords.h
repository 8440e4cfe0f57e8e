// The keywords of the language as objects: creating a keyword reserves its
// word, so that no symbol may take it. Every word of the language's word
// table is reserved when these are first created; the expression operators
// and type names are kept here by name for the parsers and writers.
#pragma once

#include "parsing/words.h"
#include "text/text.h"

namespace qorvantel {

struct language_keywords {
    keyword char_word{word(word_id::char_type).text};
    keyword int_word{word(word_id::int_type).text};
    keyword union_word{word(word_id::union_of).text};
    keyword minus_word{word(word_id::minus).text};
    keyword product_word{word(word_id::product).text};
    keyword rename_word{word(word_id::rename).text};
    keyword select_word{word(word_id::select).text};
    keyword project_word{word(word_id::project).text};
};

// Created on first use, which also reserves every other word of the table;
// the start-up routine makes that first use.
const language_keywords& keywords();

} // namespace qorvantel
