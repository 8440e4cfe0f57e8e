#include "parsing/keywords.h"

namespace qorvantel {

const language_keywords& keywords()
{
    static const language_keywords words;
    return words;
}

} // namespace qorvantel
