// Relations and the output format.
#include "relations/relation.h"

namespace qorvantel {

std::ostream& line_end(std::ostream& out)
{
    out.put('\n');
    return out.flush();
}

std::ostream& relation::operator>>(std::ostream& out) const
{
    out << schema_;
    line_end(out);
    out << table_;
    return line_end(out);
}

} // namespace qorvantel
