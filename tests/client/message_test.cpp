// The line each C++ type makes on the real server. The values sit at their type's limits, so
// the text shows which method of which width and signedness the type reached.

#include "kvtlogctl/held_service_fixture.h"
#include "support/wait_for_writer.h"

#include "kvtlog/client.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <source_location>
#include <string>
#include <string_view>

namespace kvt::test {
namespace {

using namespace std::literals;
using kvtlog::message;

template <class T>
constexpr T low = std::numeric_limits<T>::min();
template <class T>
constexpr T high = std::numeric_limits<T>::max();

const struct {
    const char* type;
    void (*append)(message& m);
    const wchar_t* text;
} types[] = {
    {"bool", [](message& m) { m << true; }, L"true"},
    {"char", [](message& m) { m << 'x'; }, L"x"},
    {"wchar_t", [](message& m) { m << L'\u0101'; }, L"\u0101"},
    {"int8_t", [](message& m) { m << low<std::int8_t>; }, L"-128"},
    {"uint8_t", [](message& m) { m << high<std::uint8_t>; }, L"255"},
    {"int16_t", [](message& m) { m << low<std::int16_t>; }, L"-32768"},
    {"uint16_t", [](message& m) { m << high<std::uint16_t>; }, L"65535"},
    {"int32_t", [](message& m) { m << low<std::int32_t>; }, L"-2147483648"},
    {"uint32_t", [](message& m) { m << high<std::uint32_t>; }, L"4294967295"},
    {"long", [](message& m) { m << low<long>; }, L"-2147483648"},
    {"unsigned long", [](message& m) { m << high<DWORD>; }, L"4294967295"},
    {"int64_t", [](message& m) { m << low<std::int64_t>; }, L"-9223372036854775808"},
    {"uint64_t", [](message& m) { m << high<std::uint64_t>; }, L"18446744073709551615"},
    {"float", [](message& m) { m << 1.5f; }, L"1.500000e+000"},
    {"double", [](message& m) { m << -0.25; }, L"-2.500000e-001"},
    {"const char*", [](message& m) { m << "narrow"; }, L"narrow"},
    {"const wchar_t*", [](message& m) { m << L"wide"; }, L"wide"},
    {"string_view", [](message& m) { m << "abcdef"sv.substr(1, 3); }, L"bcd"},
    {"wstring_view", [](message& m) { m << L"uvwxyz"sv.substr(0, 2); }, L"uv"},
    {"string", [](message& m) { m << "str"s; }, L"str"},
    {"wstring", [](message& m) { m << L"wstr"s; }, L"wstr"},
    {"hex32", [](message& m) { m << kvtlog::hex32(255); }, L"000000FF"},
    {"hex64", [](message& m) { m << kvtlog::hex64(255); }, L"00000000000000FF"},
    {"error_code", [](message& m) { m << kvtlog::errorcode(0x20000000); },
     L"20000000 (No message defined for the code)"},
};

class ClientMessage : public heldservice {};

TEST_F(ClientMessage, EachTypeIsWrittenByItsOwnMethodAtTheCallersLocation)
{
    std::source_location at;
    {
        const kvtlog::source log{7, L"Types", {1, 0, 0, 0}};
        for (const auto& row : types) {
            message m = log(kvtlog::level::error | kvtlog::level::info, at = std::source_location::current());
            row.append(m.ids(1, 2));
        }
    }
    wait_for_writer(control_.Get());
    const auto lines = read_log_lines(logs_.path() + L"\\CA7\\Types-1.0.0.0.TXT");
    ASSERT_EQ(lines.size(), std::size(types));
    const std::string_view function = at.function_name();
    const std::wstring fields = L"ERR,INF|1/2|message_test.cpp," + std::to_wstring(at.line()) + L"|" +
                                std::wstring(function.begin(), function.end()) + L"|";
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].substr(24), fields + types[i].text) << types[i].type; // behind date and time
}

} // namespace
} // namespace kvt::test
