#pragma once
// The argument forms kvtlogctl commands share, read into values and written back for display.
// Source ids and level texts go through the service, so the tool accepts exactly what the
// service accepts; decimal numbers and versions are read here. Throw usageerror or failure.

#include "kvtlogctl/service_session.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvt::ctl {

// Digits only, at most 4294967295.
std::optional<std::uint32_t> parse_decimal(std::wstring_view text) noexcept;

// A decimal number or the usageerror "<what> must be a number from 0 to 4294967295".
std::uint32_t read_number(std::wstring_view text, std::wstring_view what);

// "a.b.c.d", four decimal numbers.
std::array<std::uint32_t, 4> read_version(std::wstring_view text);

// "default" (any letter case) for the default settings, a decimal id, or a text the
// service's ParseSourceId accepts (GE, CA7).
source_id read_source_id(servicesession& service, const std::wstring& text);

// "default", or the service's text form of the id.
std::wstring source_id_label(servicesession& service, source_id id);

// The words joined by blanks: "none" (any letter case) for no level, otherwise a text the
// service's ParseLevels accepts.
DWORD read_levels(servicesession& service, const std::vector<std::wstring>& words);

// The service's names of the levels in the mask, or "none".
std::wstring levels_label(servicesession& service, DWORD mask);

} // namespace kvt::ctl
