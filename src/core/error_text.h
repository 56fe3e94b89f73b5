#pragma once
// The text that AddErrorCode appends for a Win32 or HRESULT code.

#include <windows.h>

#include <string>

namespace kvt {

// The code as 8 upper-case hexadecimal digits, " (", the system's message text for it on
// one line without a final full stop, ")"; "No message defined for the code" stands in
// for a code without text. Throws std::bad_alloc.
std::wstring error_code_text(DWORD code);

} // namespace kvt
