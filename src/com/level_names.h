#pragma once
// The text forms of a level mask that administrative clients read and write: full level
// names in table order, separated by ",".

#include <cstdint>
#include <string>

namespace kvt {

// The full names of the levels set in mask, in table order, joined by "," without blanks.
// Bits that name no level are ignored; a mask without level bits gives an empty text.
std::wstring level_names(std::uint32_t mask);

// ORs into mask the bit of every token of text, split at runs of space, tab, "," and ";".
// A token is a full name or an abbreviation in any letter case. False at the first token
// that names no level; mask then holds the bits of the tokens before it. Throws
// std::bad_alloc.
bool parse_level_names(const wchar_t* text, std::uint32_t& mask);

} // namespace kvt
