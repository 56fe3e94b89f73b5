#pragma once
// The seven levels: their bits, names and abbreviations, in the order in which every
// text that names several levels lists them.

#include <cstdint>

namespace kvt {

struct levelrow {
    std::uint32_t mask;
    const wchar_t* name;
    const wchar_t* abbreviation;
};

inline constexpr levelrow level_table[] = {
    {0x01, L"FATAL", L"FTL"}, {0x02, L"ERROR", L"ERR"}, {0x04, L"WARNING", L"WRN"},
    {0x08, L"EVENT", L"EVT"}, {0x10, L"INFO", L"INF"},  {0x20, L"DEBUG", L"DBG"},
    {0x40, L"TRACE", L"TRC"},
};

// The bits that name a level; others are stored and returned unchanged.
inline constexpr std::uint32_t all_levels = 0x7F;

} // namespace kvt
