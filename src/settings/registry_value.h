#pragma once
// Reading and writing single values of the settings keys. Throwing helpers throw the
// Win32 code (DWORD) of the failed registry call.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvt {

// The registry value name of a source id: its unsigned decimal text, or null (the
// (default) value) for the default source id.
class valuename {
public:
    explicit valuename(std::uint32_t id) noexcept;
    const wchar_t* get() const noexcept { return is_default_ ? nullptr : text_; }

private:
    wchar_t text_[11];
    bool is_default_;
};

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

// Opens subkey (null: key itself) of key for writing, writes one value and closes the
// subkey. Throws the code of a failed open or write.
void write_value(HKEY key, const wchar_t* subkey, const wchar_t* name, DWORD type, const void* data, DWORD size);

} // namespace kvt
