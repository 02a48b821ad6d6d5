// The updater's command line.
#pragma once

#include "base/text/wide_string.h"

// Reads the client path from the program's arguments, argument 0 (the
// program) skipped: every "-path" (compared ignoring the case of A to Z only)
// takes the argument after it verbatim, so the last one wins; all other
// arguments are skipped. False when the program must end without a run: a
// "-path" is the last argument (even after an earlier one with a value), or
// no "-path" gave a value, or the value is empty. `*clientPath` is set only on
// success.
bool ReadClientPathArgument(int argc, const wchar_t* const* argv, String* clientPath);
