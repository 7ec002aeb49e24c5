// Start and end of the program.
//
// Program-wide state: a fixed set of globals from process start to process end. Plain values
// start as 0 and texts and byte sets empty. Objects that a subsystem declares program-wide
// are created, in the order of the list in app/program_win.cpp, before the main window is
// loaded, and released, in the same order, by the end-of-program routine. That routine runs
// exactly once on every orderly exit: when the message loop ends because the window is gone,
// and when a routine ends the program explicitly with EndProgram (the skin's close button).
#pragma once

#ifdef _WIN32

#include <windows.h>

#include "app/bindings.h"

namespace ql {

// The process entry: start-up with the program's own bindings, the message loop, exit code 0.
[[noreturn]] void ProgramStart();

// The same with another binding table (test programs drive the real start-up and exit paths
// with it).
[[noreturn]] void RunProgram(const BindingTable& bindings);

// Start-up steps up to the message loop: program-wide objects, the end-of-program routine's
// registration, GDI+, the main window shown (its Created event has run). Returns the window
// (null when it could not be created). Tests that create the real window in-process use this.
HWND StartProgram(const BindingTable& bindings);

// Starts GDI+ (version 1, with its background thread and external codecs); keeps the token,
// which is never handed to a shutdown call: GDI+ stays up until the process ends. The status
// is not examined: a failed start shows as pictures that do not decode.
void StartGdiPlus();

// The explicit orderly exit, callable from any handler: runs the end-of-program routine (once)
// and ends the process with exit code 0. Does not return.
[[noreturn]] void EndProgram();

}  // namespace ql

#endif
