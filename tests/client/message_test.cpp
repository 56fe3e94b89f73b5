// The line each C++ type makes on the real server, in another process: the values sit at
// their type's limits, so the text shows which method of which width and signedness the type
// reached. A megabyte of text goes in, and the message's texts come back out through the
// proxy/stub DLL.

#include "support/log_checks.h"
#include "support/server_fixture.h"

#include "kvtlog/client.h"

#include <cstdint>
#include <cwchar>
#include <limits>
#include <source_location>
#include <string>
#include <string_view>

namespace kvt::test {
namespace {

using namespace std::literals;

template <class T>
constexpr T low = std::numeric_limits<T>::min();
template <class T>
constexpr T high = std::numeric_limits<T>::max();

using ClientMessage = heldservice;

TEST_F(ClientMessage, EachTypeIsWrittenByItsOwnMethodAtTheCallersLocation)
{
    std::source_location at;
    {
        const kvtlog::source log{7, L"Types", {1, 0, 0, 0}};
        kvtlog::message m = log(kvtlog::level::error | kvtlog::level::info, at = std::source_location::current());
        m.ids(1, 2) << true << 'x' << L'\u0101' << low<std::int8_t> << high<std::uint8_t> << low<std::int16_t>
                    << high<std::uint16_t> << low<std::int32_t> << high<std::uint32_t> << low<long> << high<DWORD>
                    << low<std::int64_t> << high<std::uint64_t> << 1.5f << -0.25 << "narrow" << L"wide"
                    << "abcdef"sv.substr(1, 3) << L"uvwxyz"sv.substr(0, 2) << "str"s << L"wstr"s << kvtlog::hex32(255)
                    << kvtlog::hex64(255) << kvtlog::errorcode(0x20000000) << std::string(1 << 20, 'm');
        uniquetaskmem<wchar_t> file, function;
        EXPECT_EQ(m.get()->GetFile(file.put()), S_OK);
        EXPECT_EQ(m.get()->GetFunction(function.put()), S_OK);
        EXPECT_STREQ(file.get(), L"message_test.cpp");
        EXPECT_EQ(std::string(function.get(), function.get() + std::wcslen(function.get())), at.function_name());
    }
    wait_for_writer(control_.Get());
    const auto lines = read_log_lines(logs_.path() + L"\\CA7\\Types-1.0.0.0.TXT");
    ASSERT_EQ(lines.size(), 1u);
    const std::string_view function = at.function_name();
    const std::wstring head = // behind the date and time
        L"ERR,INF|1/2|message_test.cpp," + std::to_wstring(at.line()) + L"|" + std::wstring(function.begin(), function.end()) +
        L"|truex\u0101-128255-3276865535-21474836484294967295-21474836484294967295"
        L"-922337203685477580818446744073709551615"
        L"1.500000e+000-2.500000e-001narrowwidebcduvstrwstr000000FF00000000000000FF"
        L"20000000 (No message defined for the code)";
    EXPECT_EQ(lines[0].substr(24, head.size()), head);
    EXPECT_TRUE(lines[0].substr(24 + head.size()) == std::wstring(1 << 20, L'm')) << "a megabyte of text";
}

} // namespace
} // namespace kvt::test
