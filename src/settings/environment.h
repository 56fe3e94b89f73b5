#pragma once
// Environment references in stored directory texts. references_environment itself is
// declared with the settings store, whose users (registration) need it.

#include <windows.h>

#include <optional>
#include <string>

namespace kvt {

// The text with every %NAME% of a defined variable replaced, starting with a buffer of
// first_size characters. Empty when ExpandEnvironmentStringsW fails.
std::optional<std::wstring> expand_environment(const wchar_t* text, DWORD first_size);

} // namespace kvt
