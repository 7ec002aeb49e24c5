// Event bindings: which routine runs when a form element raises an event. The window's
// behaviour is entirely in the bound routines; the window code only routes events to them.
#pragma once

#include <vector>

#include "app/form.h"

namespace ql {

// A bound routine: no arguments, no result, runs on the user-interface thread. It reaches
// the controls through app/main_window.h (MainWindowControl). It must not throw; an
// exception that escapes anyway is swallowed at the window procedure, never let through it.
using Handler = void (*)();

struct Binding {
    FormItem item;
    FormEvent event;
    Handler handler;
};

using BindingTable = std::vector<Binding>;

// The program's own table (app/bindings_win.cpp).
const BindingTable& MainWindowBindings();

}  // namespace ql
