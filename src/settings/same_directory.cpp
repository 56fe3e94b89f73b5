#include "settings/same_directory.h"

#include "settings/environment.h"
#include "settings/text_buffer.h"

#include <windows.h>

#include <cwchar>
#include <optional>
#include <string>

namespace kvt {

namespace {

constexpr DWORD path_buffer_size = MAX_PATH + 1;

// Empty when any step fails; GetLongPathNameW fails for a directory that does not exist.
std::optional<std::wstring> canonical_form(const wchar_t* text, bool expand)
{
    if (!text)
        return std::nullopt;
    std::optional<std::wstring> path = expand ? expand_environment(text, path_buffer_size) : std::wstring(text);
    if (!path)
        return std::nullopt;
    const auto full = call_with_text_buffer(path_buffer_size, [&](wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(path->c_str(), size, buffer, nullptr);
    });
    // A path of MAX_PATH characters or more names no directory the writer can create or
    // open (its file calls take no \\?\ prefix), so it needs no canonical form. Stopping
    // here also keeps client texts of any length away from GetLongPathNameW, which under Wine
    // copies each path component into a stack buffer of 1024 characters without a check.
    if (!full || full->size() >= MAX_PATH)
        return std::nullopt;
    return call_with_text_buffer(path_buffer_size, [&](wchar_t* buffer, DWORD size) {
        return ::GetLongPathNameW(full->c_str(), buffer, size);
    });
}

} // namespace

bool same_directory(const wchar_t* a, bool expand_a, const wchar_t* b, bool expand_b)
{
    const auto form_a = canonical_form(a, expand_a);
    const auto form_b = canonical_form(b, expand_b);
    if (form_a && form_b)
        return _wcsicmp(form_a->c_str(), form_b->c_str()) == 0;
    // Without both canonical forms (a directory not created yet is the common case) the texts
    // themselves decide: a directory named again in other letter case is not a change, any
    // other spelling is.
    return a && b && _wcsicmp(a, b) == 0;
}

} // namespace kvt
