#pragma once
// Registering the server as a local COM server with its default settings, and removing that
// registration again, under HKEY_CLASSES_ROOT. The actions of -RegServer and -UnregServer.
//
// Main thread only, before COM is initialised. Nothing is undone when a step fails: what was
// written before it stays.

#include <windows.h>

namespace kvt {

// Writes the class, server, ProgID and Settings entries. log_path: the log directory to store,
// or null for the default (%TEMP%, %TMP% or the program's directory\log). Shows the success
// box unless quiet; throws usrerror or syserror.
void register_server(const wchar_t* log_path);

// Removes the ProgID keys and the class key with everything under it, settings of single
// source ids included. Shows the success box unless quiet, also when nothing was registered;
// throws usrerror or syserror.
void unregister_server();

} // namespace kvt
