#pragma once
// Texts that FormatMessageW makes: the system's text for a code, and a format text with its
// inserts filled in.

#include <windows.h>

#include <optional>
#include <string>

namespace kvt {

// The system's message text for a Win32 or HRESULT code in the language asked for
// (MAKELANGID values; 0 lets FormatMessageW search), as the system has it: most texts end
// in a line end. Empty when the system has no text for the code. Throws std::bad_alloc.
std::optional<std::wstring> system_text(DWORD code, DWORD language);

// format with its inserts %1, %2, ... taken from arguments in order (null: no argument
// array, so a format that asks for an insert fails). Empty when formatting fails. Throws
// std::bad_alloc.
std::optional<std::wstring> format_text(const wchar_t* format, const DWORD_PTR* arguments);

} // namespace kvt
