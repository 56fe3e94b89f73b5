// The forwarder thread against a collector played by the test: a listening socket on
// 127.0.0.1 that accepts, reads frames, closes or stalls.

#include "forward/forwarder.h"

#include "writer/line_format.h"

#include <gtest/gtest.h>

#include <ws2tcpip.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace kvt {
namespace {

constexpr ULONGLONG bound_ms = 10000;

template <class Check>
bool wait_until(Check check)
{
    for (const ULONGLONG end = ::GetTickCount64() + bound_ms; !check(); ::Sleep(5)) {
        if (::GetTickCount64() > end)
            return false;
    }
    return true;
}

bool readable(SOCKET s)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait{static_cast<long>(bound_ms / 1000), 0};
    return ::select(0, &set, nullptr, nullptr, &wait) == 1;
}

class forwardertest : public ::testing::Test {
protected:
    forwardertest()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        EXPECT_EQ(::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), size), 0);
        EXPECT_EQ(::listen(listener_.get(), 4), 0);
        EXPECT_EQ(::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &size), 0);
        port_ = ntohs(address.sin_port);
    }

    void start(DWORD send_timeout_ms = 300)
    {
        forwarder_.emplace(queue_, L"host", forwardtiming{10, 40, 2000, send_timeout_ms});
        forwarder_->configure({L"127.0.0.1", port_, 3, 0x10});
    }

    // A record whose line is the one the writer wrote for it.
    void push(const std::wstring& message)
    {
        const SYSTEMTIME time{2026, 12, 0, 6, 7, 8, 9, 10};
        std::wstring line;
        append_header({0x10, time, 0, 0, nullptr, 0, nullptr}, line);
        auto record = std::make_unique<forwardrecord>(
            forwardrecord{key_, &counters_, 0x10, time, 0, 0, {}, 0, {}, line + message + L"\r\n"});
        ASSERT_TRUE(queue_.push(record));
    }

    uniquesocket accept()
    {
        return uniquesocket(readable(listener_.get()) ? ::accept(listener_.get(), nullptr, nullptr) : 0);
    }

    // The messages of the next count frames, each as long as its length says.
    std::vector<std::string> receive(SOCKET s, std::size_t count)
    {
        std::vector<std::string> messages;
        std::string bytes;
        for (std::vector<char> buffer(64 << 10); messages.size() < count && readable(s);) {
            const int got = ::recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
            bytes.append(buffer.data(), static_cast<std::size_t>(std::max(got, 0)));
            std::size_t space = bytes.find(' '), length = 0;
            while (space != std::string::npos && bytes.size() >= space + 1 + (length = std::stoul(bytes))) {
                messages.push_back(bytes.substr(space + 1, length));
                bytes.erase(0, space + 1 + length);
                space = bytes.find(' ');
            }
            if (got <= 0)
                break;
        }
        return messages;
    }

    winsocksession winsock_;
    uniquesocket listener_{::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)};
    const std::uint32_t version_[4] = {1, 0, 0, 0};
    const sourcekeyref key_ = make_sourcekey(7, version_, L"App");
    sourcecounters counters_;
    forwardqueue queue_{64, std::size_t{64} << 20};
    std::uint16_t port_ = 0;
    std::optional<forwarder> forwarder_;
};
using Forwarder = forwardertest;

// The second frame is far longer than the connection holds: its send waits for room again
// and again, each time woken as soon as there is some, or it runs out of time.
TEST_F(Forwarder, SendsFramesAndReconnectsAtOnceWhenTheCollectorClosedTheConnection)
{
    start(5'000);
    push(L"one");
    push(std::wstring(16 << 20, L't'));
    uniquesocket first = accept();
    ::Sleep(100);
    std::vector<std::string> messages = receive(first.get(), 2);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].substr(0, 29), "<30>1 2026-12-06T07:08:09.010");  // facility 3
    EXPECT_TRUE(messages[0].ends_with(" line=\"0\"] \xEF\xBB\xBFone")) << messages[0];
    EXPECT_TRUE(messages[1].ends_with("\xEF\xBB\xBF" + std::string(16 << 20, 't')));
    EXPECT_TRUE(forwarder_->state().connected);

    first.reset();
    push(L"three");
    const uniquesocket second = accept();
    messages = receive(second.get(), 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].ends_with("three"));
    EXPECT_TRUE(wait_until([&] { return read_counters(counters_).forwarded == 3; }));
    EXPECT_EQ(read_counters(counters_).forwardlost, 0u);
}

TEST_F(Forwarder, AStalledCollectorTimesTheSendOutAndARefusingOneIsRetriedWithItsErrorShown)
{
    start();
    const uniquesocket stalled = accept();
    for (int i = 0; i < 8; ++i)
        push(std::wstring(2 << 20, L'x'));
    // The records of a failed send are counted before the state shows the failure.
    ASSERT_TRUE(wait_until([&] { return forwarder_->state().last_error == WSAETIMEDOUT; }));
    EXPECT_GT(read_counters(counters_).forwardlost, 0u);

    listener_.reset();
    ASSERT_TRUE(wait_until([&] { return forwarder_->state().last_error == WSAECONNREFUSED; }));
    const forwardstate state = forwarder_->state();
    EXPECT_FALSE(state.connected);
    EXPECT_NE(state.retrying_since.dwHighDateTime, 0u);
    forwarder_->configure({});
    EXPECT_EQ(queue_.levels(), 0u);
    EXPECT_TRUE(wait_until([&] { return forwarder_->state().last_error == 0; }));
}

// With a send time-out far away, the end does not wait for it: the send gives up at once.
TEST_F(Forwarder, EndingCutsASendToAStalledCollectorShortAndCountsWhatItHeldLost)
{
    start(30'000);
    const uniquesocket stalled = accept();
    for (int i = 0; i < 8; ++i)
        push(std::wstring(2 << 20, L'x'));
    ::Sleep(200);  // the forwarder fills the connection and waits for room
    const ULONGLONG started = ::GetTickCount64();
    forwarder_.reset();
    EXPECT_LT(::GetTickCount64() - started, bound_ms);
    const countersnapshot c = read_counters(counters_);
    EXPECT_EQ(c.forwarded + c.forwardlost, 8u);
}

} // namespace
} // namespace kvt
