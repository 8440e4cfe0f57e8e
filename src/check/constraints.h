// Keys and references: the constraints an exercise's databases keep.
//
//   key: Sailor(sid)                        no two rows of Sailor share sid
//   references: Reserve(sid) -> Sailor(sid) every Reserve.sid is a Sailor.sid
//
// Generated databases, shrinking and the bounded check keep them, so that no
// counterexample is a database that cannot exist.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qorvantel {

class database;

struct key_constraint {
    std::string relation;
    std::vector<std::string> columns;
};

struct reference_constraint {
    std::string relation;
    std::vector<std::string> columns;
    std::string target;
    std::vector<std::string> target_columns;
};

struct constraint_set {
    std::vector<key_constraint> keys;
    std::vector<reference_constraint> references;
    bool empty() const noexcept { return keys.empty() && references.empty(); }
    // One "key: ..." or "references: ..." line each, as they are read.
    std::string text() const;
};

// Reads one line "key: R(a, b)" or "references: R(a) -> S(b)" into into.
// Returns false when the line is neither; raises std::runtime_error with
// what is wrong when it is one but does not read.
bool read_constraint_line(const std::string& line, constraint_set& into);
// Every line of a constraints file; blank lines and # comments skipped.
constraint_set read_constraints(const std::string& source, const std::string& name);

// The constraints over a database's relations by index.
struct resolved_key {
    std::size_t relation;
    std::vector<std::size_t> columns;
};
struct resolved_reference {
    std::size_t relation;
    std::vector<std::size_t> columns;
    std::size_t target;
    std::vector<std::size_t> target_columns;
};
struct resolved_constraints {
    std::vector<resolved_key> keys;
    std::vector<resolved_reference> references;
    bool empty() const noexcept { return keys.empty() && references.empty(); }
};

// Raises std::runtime_error naming the relation or column the database
// lacks, or a reference between columns of different kinds.
resolved_constraints resolve_constraints(const constraint_set& constraints, const database& on);

// Whether the rows kept (per relation, indexes into its rows; all when
// kept is null) keep every constraint.
bool constraints_hold(const resolved_constraints& constraints, const database& on,
                      const std::vector<std::vector<std::size_t>>* kept = nullptr);

// The first constraint the database breaks, as written ("key Sailor(sid)"),
// or empty when it keeps them all.
std::string broken_constraint(const constraint_set& constraints, const resolved_constraints& resolved,
                              const database& on);

// What is wrong with the constraints on the database: a relation or column
// it lacks, a reference between kinds, or the first constraint it breaks
// ("the database breaks key Sailor(sid)."); empty when nothing is.
std::string constraint_problem(const constraint_set& constraints, const database& on);

} // namespace qorvantel
