// The notebook's operator tree: the page's (web/operator_tree.h), which
// observes the one walk of the evaluation (algebra/observed_evaluation.h).
#include "python/observed_tree.h"

#include "check/json_text.h"
#include "text/interrupt.h"
#include "web/json_writer.h"
#include "web/operator_tree.h"

#include <new>
#include <stdexcept>

namespace qorvantel {

std::string observed_tree_json(const std::string& expression_text, const shared<environment>& loaded)
{
    shared<expression> query;
    try {
        query = parse_whole<expression>("expression", expression_text);
    } catch (const std::exception& error) {
        return "{\"error\": " + json_string(error.what()) + "}";
    }
    tree_node root;
    try {
        evaluate_tree(query, root, loaded);
    } catch (const interrupted&) {
        throw;
    } catch (const std::bad_alloc&) {
        // Recorded on its node, as every error of the walk is.
    } catch (const std::exception&) {
    }
    json_writer out;
    write_tree(out, root);
    return out.result();
}

} // namespace qorvantel
