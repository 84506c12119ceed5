#pragma once
// The console the program runs in.

namespace hv {

// Whether standard error is a terminal (and not a file or a pipe), so that a
// progress line written over itself is read by a person.
bool standardErrorIsTerminal();

}  // namespace hv
