#pragma once
// The identity of a log source: source id, four version numbers and name. A key never
// changes after make_sourcekey and is always held through a counted reference; client
// threads make and share keys, the writer thread releases its own references.

#include "core/counted.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvt {

// The source id whose level and limit apply to every id without its own.
inline constexpr std::uint32_t default_source_id = 0xFFFFFFFF;

struct sourcekey {
    std::uint32_t id;
    std::uint32_t version[4];
    std::wstring name;
};

using sourcekeyref = counted<const sourcekey>;

// Copies the four version numbers and the name into a new key. name must not be null.
sourcekeyref make_sourcekey(std::uint32_t id, const std::uint32_t version[4], const wchar_t* name);

// Equal id, equal versions and equal names code unit by code unit (letter case matters).
bool operator==(const sourcekey& a, const sourcekey& b) noexcept;

// Order of every table keyed by source: id unsigned, then the versions as signed values
// from the fourth to the first, then the names by code units (a prefix first).
bool key_less(const sourcekey& a, const sourcekey& b) noexcept;

struct sourcekeyorder {
    bool operator()(const sourcekeyref& a, const sourcekeyref& b) const noexcept { return key_less(*a, *b); }
};

// "GE" for 0, "CA" and the unsigned decimal id otherwise; names the id's sub-directory.
std::wstring source_id_text(std::uint32_t id);

// Reads a source id back from its text form: blanks (space, tab) around it, "CA" or "GE"
// in any letter case. Empty when the text is not a source id.
std::optional<std::uint32_t> parse_source_id(const wchar_t* text) noexcept;

} // namespace kvt
