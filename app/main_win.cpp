// The program's entry. It reads no arguments: the program takes no configuration.
#include <windows.h>

#include "app/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { ql::ProgramStart(); }
