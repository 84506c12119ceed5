#pragma once
// The console the program runs in.

namespace hv {

// Whether standard error is a terminal (and not a file or a pipe), so that a
// progress line written over itself is read by a person.
bool standardErrorIsTerminal();

// A program without windows still starts Qt's GUI part, which wants a private
// runtime folder: where none is named, the one Qt would pick is made quietly.
void prepareRuntimeFolder();

}  // namespace hv
