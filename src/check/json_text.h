// JSON string literals for the checker's reports: written by the one JSON
// writer of every program, text/json.h.
#pragma once

#include "text/json.h"
