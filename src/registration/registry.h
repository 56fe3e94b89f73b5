#pragma once
// The registry calls and names that registering and unregistering share. Every failing
// registry call throws its Win32 code as a DWORD.

#include "core/error.h"
#include "win/unique_resource.h"

#include <windows.h>

#include <array>

namespace kvt {

inline constexpr wchar_t progid[] = L"KVT.Logging";
inline constexpr wchar_t version_progid[] = L"KVT.Logging.1";

// CLSID_LogService as StringFromGUID2 writes it, braces included.
using class_id_text = std::array<wchar_t, 39>;

// Throws usrerror "StringFromGUID2() failed." under caption when the text cannot be made.
class_id_text make_class_id_text(const wchar_t* caption);

void check(LSTATUS status);

// Creates the key, or opens it when it exists.
uniquehkey create_key(HKEY parent, const wchar_t* name, REGSAM access);
uniquehkey open_key(HKEY parent, const wchar_t* name, REGSAM access);

// Sets the key's (default) value.
void set_default_value(HKEY key, DWORD type, const void* data, DWORD size);
// Strings are stored with their terminating NUL.
void set_default_string(HKEY key, const wchar_t* text, DWORD type = REG_SZ);

// Runs action; a Win32 code thrown from it becomes a syserror under caption.
template <class Action>
void translate_registry_errors(const wchar_t* caption, Action&& action)
{
    try {
        action();
    } catch (DWORD code) {
        throw syserror(code, caption, L"Unable to access system registry.\n\nError %2!d!: %1");
    }
}

} // namespace kvt
