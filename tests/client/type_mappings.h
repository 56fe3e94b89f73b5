#pragma once
// Each C++ type the client library takes, the ILogMessage call it must make, and the text
// the server writes for it. Shared by the test on stand-in objects and the one on the server.

#include "kvtlog/client.h"

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

namespace kvt::test {

struct type_mapping {
    const char* type;
    void (*append)(kvtlog::message& m);
    const wchar_t* call;
    const wchar_t* text;
};

inline std::span<const type_mapping> type_mappings()
{
    using namespace std::literals;
    using kvtlog::message;
    static const type_mapping table[] = {
        {"bool", [](message& m) { m << true; }, L"AddBool(1)", L"true"},
        {"char", [](message& m) { m << 'x'; }, L"AddChar(x)", L"x"},
        {"wchar_t", [](message& m) { m << L'\u00e9'; }, L"AddWChar(\u00e9)", L"\u00e9"},
        {"int8_t", [](message& m) { m << std::int8_t(-128); }, L"AddInt8(-128)", L"-128"},
        {"uint8_t", [](message& m) { m << std::uint8_t(255); }, L"AddUInt8(255)", L"255"},
        {"int16_t", [](message& m) { m << std::int16_t(-32768); }, L"AddInt16(-32768)", L"-32768"},
        {"uint16_t", [](message& m) { m << std::uint16_t(65535); }, L"AddUInt16(65535)", L"65535"},
        {"int32_t", [](message& m) { m << std::numeric_limits<std::int32_t>::min(); },
         L"AddInt32(-2147483648)", L"-2147483648"},
        {"uint32_t", [](message& m) { m << std::numeric_limits<std::uint32_t>::max(); },
         L"AddUInt32(4294967295)", L"4294967295"},
        {"long", [](message& m) { m << -7L; }, L"AddLong(-7)", L"-7"},
        {"unsigned long", [](message& m) { m << DWORD(7); }, L"AddULong(7)", L"7"},
        {"int64_t", [](message& m) { m << std::numeric_limits<std::int64_t>::min(); },
         L"AddInt64(-9223372036854775808)", L"-9223372036854775808"},
        {"uint64_t", [](message& m) { m << std::numeric_limits<std::uint64_t>::max(); },
         L"AddUInt64(18446744073709551615)", L"18446744073709551615"},
        {"float", [](message& m) { m << 1.5f; }, L"AddFloat(1.500000)", L"1.500000e+000"},
        {"double", [](message& m) { m << -0.25; }, L"AddDouble(-0.250000)", L"-2.500000e-001"},
        {"const char*", [](message& m) { m << "narrow"; }, L"AddString(narrow)", L"narrow"},
        {"const wchar_t*", [](message& m) { m << L"wide"; }, L"AddWString(wide)", L"wide"},
        {"string_view", [](message& m) { m << "abcdef"sv.substr(1, 3); }, L"AddString(bcd)", L"bcd"},
        {"wstring_view", [](message& m) { m << L"uvwxyz"sv.substr(0, 2); }, L"AddWString(uv)", L"uv"},
        {"string", [](message& m) { m << "str"s; }, L"AddString(str)", L"str"},
        {"wstring", [](message& m) { m << L"wstr"s; }, L"AddWString(wstr)", L"wstr"},
        {"hex32", [](message& m) { m << kvtlog::hex32(255); }, L"AddHex32(255)", L"000000FF"},
        {"hex64", [](message& m) { m << kvtlog::hex64(255); }, L"AddHex64(255)", L"00000000000000FF"},
        {"error_code", [](message& m) { m << kvtlog::error_code(0x20000000); }, L"AddErrorCode(536870912)",
         L"20000000 (No message defined for the code)"},
    };
    return table;
}

} // namespace kvt::test
