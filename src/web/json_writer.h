// The page's JSON writer is the one of every program, text/json.h.
#pragma once

#include "text/json.h"
