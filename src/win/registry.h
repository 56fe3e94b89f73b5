#pragma once
// The program's registry calls: opening and creating keys, reading and writing values,
// removing a key tree. A helper that throws throws the Win32 code of the failed call as a
// DWORD; the noexcept ones report failure in their result instead.

#include "win/unique_resource.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kvt {

// Throws status as a DWORD unless it is ERROR_SUCCESS.
void check_win32(LSTATUS status);

// Creates the key, or opens it when it exists.
uniquehkey create_key(HKEY parent, const wchar_t* name, REGSAM access);
uniquehkey open_key(HKEY parent, const wchar_t* name, REGSAM access);
// An empty owner when the key cannot be opened.
uniquehkey try_open_key(HKEY parent, const wchar_t* name, REGSAM access) noexcept;

// Writes one value; a null name is the key's (default) value.
void set_value(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size);
// A string is stored with its terminating NUL.
void set_string(HKEY key, const wchar_t* name, const wchar_t* text, DWORD type = REG_SZ);

struct storedstring {
    DWORD type;  // REG_SZ or REG_EXPAND_SZ
    std::wstring text;  // as stored, not expanded
};

// A REG_SZ or REG_EXPAND_SZ value; empty for a value of another type. Data without a
// terminating NUL reads as the stored characters. Throws the code of a failed query
// (ERROR_FILE_NOT_FOUND for an absent value).
std::optional<storedstring> read_string_value(HKEY key, const wchar_t* name);

// The bytes of a value of any type, or the code of the failed query.
struct binaryvalue {
    LSTATUS status;
    std::vector<BYTE> data;
};
binaryvalue read_binary_value(HKEY key, const wchar_t* name);

// Removes parent\name with all its subkeys, depth first. A subkey that someone else removes
// meanwhile is not an error. Throws ERROR_FILE_NOT_FOUND when parent\name does not exist.
void delete_key_tree(HKEY parent, const wchar_t* name);

} // namespace kvt
