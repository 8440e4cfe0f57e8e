// The reserved words of the language, kept together like a lexicon so that
// the set of words no symbol may take is visible in one place. The condition
// operators are the other reserved words; their keywords live in the operator
// tables of conditions.
#pragma once

#include "text/text.h"

namespace qorvantel {

struct language_keywords {
    keyword char_word{"char"};
    keyword int_word{"int"};
    keyword union_word{"union"};
    keyword minus_word{"minus"};
    keyword product_word{"product"};
    keyword rename_word{"rename"};
    keyword select_word{"select"};
    keyword project_word{"project"};
};

// Created on first use; the start-up routine makes that first use.
const language_keywords& keywords();

} // namespace qorvantel
