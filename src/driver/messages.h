// The driver's fixed messages now live with every program's in
// text/messages.h; this header stays for the files that include it here.
#pragma once

#include "text/messages.h"
