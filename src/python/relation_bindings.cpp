// CoreRelation and CoreEnvironment: what python/qorvantel's Relation and
// Environment hold, their schemas, rows, text and evaluation.
#include "python/bindings.h"

#include "algebra/expression.h"
#include "convert/sql_tables.h"
#include "parsing/parsing.h"
#include "python/observed_tree.h"
#include "python/python_text.h"
#include "python/relation_values.h"
#include "values/value.h"

#include <memory>

namespace qorvantel::python {

namespace {
void bind_relation(py::module_& module)
{
    py::class_<held_relation>(module, "CoreRelation")
        .def("name",
             [](const held_relation& r) {
                 return with_core([&]() -> py::object {
                     const shared<value>& name = r.handle()->relation_schema()->name();
                     return name.empty() ? py::object(py::none()) : py::object(to_python(symbol_text(*name)));
                 });
             })
        .def("schema", [](const held_relation& r) { return with_core([&] { return schema_of(*r.handle()); }); })
        .def("schema_text",
             [](const held_relation& r) {
                 return with_core([&] { return to_python(written_of(r.handle()->relation_schema())); });
             })
        .def("count",
             [](const held_relation& r) {
                 return with_core([&] { return r.handle()->relation_table()->rows().size(); });
             })
        .def("rows",
             [](const held_relation& r, std::size_t limit) {
                 return with_core([&] { return rows_of(*r.handle(), limit); });
             })
        .def("columns", [](const held_relation& r) { return with_core([&] { return columns_of(*r.handle()); }); })
        .def("text",
             [](const held_relation& r) {
                 written_text out = run_core([&] { return written_whole(r.handle()); });
                 return to_python(out.view());
             })
        .def("text_bytes", [](const held_relation& r) {
            bytes_output out = run_core([&] { return written_into<bytes_output>(r.handle()); });
            return out.take();
        });
}
} // namespace

py::class_<held_environment> bind_relations(py::module_& module)
{
    bind_relation(module);
    py::class_<held_environment> environments(module, "CoreEnvironment");
    environments
        .def("relations",
             [](const held_environment& e) {
                 return with_core([&] {
                     py::list out;
                     for (const auto& [name, bound] : e.handle()->relations())
                         out.append(
                             py::make_tuple(to_python(symbol_text(*name)), std::make_unique<held_relation>(bound)));
                     return out;
                 });
             })
        .def("text",
             [](const held_environment& e) {
                 written_text out = run_core([&] { return written_whole(e.handle()); });
                 return to_python(out.view());
             })
        .def("evaluate",
             [](const held_environment& e, const py::object& source) {
                 std::string expression_text = from_python(source, "expression");
                 return run_core([&] {
                     shared<expression> query = parse_whole<expression>("expression", expression_text);
                     shared<relation> result = query->evaluate(e.handle());
                     pool::trim();
                     return std::make_unique<held_relation>(result);
                 });
             })
        .def("tree", [](const held_environment& e, const py::object& source) {
            std::string expression_text = from_python(source, "expression");
            std::string json = run_core([&] { return observed_tree_json(expression_text, e.handle()); });
            return to_python(json);
        });
    return environments;
}

} // namespace qorvantel::python
