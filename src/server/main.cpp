// The program's entry: a GUI-subsystem executable without any window.

#include "server/run_server.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandline, int)
{
    return kvt::run_server(commandline);
}
