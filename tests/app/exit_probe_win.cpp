// The program's start-up and message loop with one binding more: 超级按钮1 ends the program
// explicitly from inside its handler (EndProgram), the way the skin's close button does.
#include <windows.h>

#include "app/bindings.h"
#include "app/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ql::BindingTable bindings;
    for (const ql::Binding& b : ql::MainWindowBindings()) {
        if (b.item != ql::FormItem::超级按钮1) {
            bindings.push_back(b);
        }
    }
    bindings.push_back({ql::FormItem::超级按钮1, ql::FormEvent::Clicked, [] { ql::EndProgram(); }});
    ql::RunProgram(bindings);
}
