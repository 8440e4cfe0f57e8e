// Matching a submission's blocks to the exercises they answer, so that one
// bad block costs that block alone: an id that no exercise has, an id
// written with a stray full stop ("== 1."), an exercise answered twice.
#pragma once

#include "check/exercises.h"

#include <string>
#include <vector>

namespace qorvantel {

struct matched_submission {
    // For each exercise id given, in that order, the answer that counts;
    // null where the submission has none.
    std::vector<const submitted_answer*> answers;
    // The reading problems and the matching ones, in line order.
    std::vector<submission_problem> problems;
};

// The answers stay those of read, which must outlive the result. An
// exercise answered twice counts its last answer, the one a student most
// likely wrote last; exercises_name names the exercise file in messages.
matched_submission match_submission(const submission& read, const std::vector<std::string>& ids,
                                    const std::string& exercises_name);

} // namespace qorvantel
