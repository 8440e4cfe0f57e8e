// The fault of an answer that is built otherwise than the reference where
// the two trees part (fault_alignment.h): a selection one side lacks, a
// difference taken on a column that is no key, a set operator for
// another, or else the deepest part of the answer whose rows on the
// counterexample no part of the reference gives. And the words the fault
// messages share.
#pragma once

#include "algebra/condition.h"
#include "check/fault.h"
#include "check/fault_alignment.h"
#include "check/node_results.h"

#include <string>

namespace qorvantel {

answer_fault fault_in_whole(node_results& given, node_results& expected, const tree_place& place,
                            const shared<expression>& reference);

// The first column a condition compares, or null.
const value* first_column(const condition& part);
// "rating = 7": the column's value on the row; empty when not there.
std::string value_on_row(const row& at, const schema& columns, const value* column);
// A relation of the counterexample in which two rows agree on given and
// not on expected (two sailors who share a name); empty when none.
std::string sharing_relation(node_results& results, const value& given, const value& expected);

} // namespace qorvantel
