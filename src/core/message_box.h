#pragma once
// The message boxes of the command-line path and the quiet flag that hides them.
// Every box of the program goes through show_message; the box itself is drawn by
// message_box, which is ::MessageBoxW unless a test has put a recorder in its place.
//
// Main thread only: the command line and the registration actions run before COM starts.

#include <windows.h>

namespace kvt {

using message_box_function = int(WINAPI*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);

extern message_box_function message_box;

// The process-wide quiet flag, false at start; the quiet switches of the command line set it.
bool quiet() noexcept;
void set_quiet(bool on) noexcept;

// A box without owner window, unless the quiet flag is set. style: MB_OK and the icon.
void show_message(const wchar_t* text, const wchar_t* caption, UINT style) noexcept;

} // namespace kvt
