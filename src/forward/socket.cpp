#include "forward/socket.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <memory>
#include <string>

namespace kvt {

namespace {

DWORD last_socket_error() noexcept
{
    return static_cast<DWORD>(::WSAGetLastError());
}

struct addressinfofree {
    void operator()(ADDRINFOW* info) const noexcept { ::FreeAddrInfoW(info); }
};

// One attempt at one address. Empty when a cancel event was set first.
uniquesocket connect_one(const ADDRINFOW& address, DWORD timeout_ms, const HANDLE* cancel, DWORD cancel_count)
{
    uniquesocket s(::socket(address.ai_family, address.ai_socktype, address.ai_protocol));
    if (!s)
        throw last_socket_error();
    const uniquehandle connected(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!connected)
        throw ::GetLastError();
    // Makes the socket non-blocking for good: it stays so after the event is let go.
    if (::WSAEventSelect(s.get(), connected.get(), FD_CONNECT) != 0)
        throw last_socket_error();
    if (::connect(s.get(), address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0 &&
        ::WSAGetLastError() != WSAEWOULDBLOCK)
        throw last_socket_error();

    HANDLE events[MAXIMUM_WAIT_OBJECTS];
    events[0] = connected.get();
    for (DWORD i = 0; i < cancel_count && i + 1 < MAXIMUM_WAIT_OBJECTS; ++i)
        events[i + 1] = cancel[i];
    const DWORD waited = ::WaitForMultipleObjects(cancel_count + 1, events, FALSE, timeout_ms);
    if (waited == WAIT_TIMEOUT)
        throw DWORD{WSAETIMEDOUT};
    if (waited != WAIT_OBJECT_0)
        return {};
    WSANETWORKEVENTS happened{};
    if (::WSAEnumNetworkEvents(s.get(), connected.get(), &happened) != 0)
        throw last_socket_error();
    if (happened.iErrorCode[FD_CONNECT_BIT] != 0)
        throw static_cast<DWORD>(happened.iErrorCode[FD_CONNECT_BIT]);
    if (::WSAEventSelect(s.get(), nullptr, 0) != 0)
        throw last_socket_error();
    // Records are small and many: they go out as they come, not held back for a full segment.
    const BOOL no_delay = TRUE;
    ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
    return s;
}

} // namespace

winsocksession::winsocksession()
{
    WSADATA data;
    if (const int code = ::WSAStartup(MAKEWORD(2, 2), &data))
        throw static_cast<DWORD>(code);
}

winsocksession::~winsocksession()
{
    ::WSACleanup();
}

uniquesocket connect_tcp(std::wstring_view host, std::uint16_t port, DWORD timeout_ms, const HANDLE* cancel,
                         DWORD cancel_count)
{
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* found = nullptr;
    if (const int code = ::GetAddrInfoW(std::wstring(host).c_str(), std::to_wstring(port).c_str(), &hints, &found))
        throw static_cast<DWORD>(code);
    const std::unique_ptr<ADDRINFOW, addressinfofree> addresses(found);

    const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
    DWORD error = WSAETIMEDOUT;
    for (const ADDRINFOW* a = addresses.get(); a; a = a->ai_next) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            break;
        try {
            return connect_one(*a, static_cast<DWORD>(deadline - now), cancel, cancel_count);
        } catch (DWORD code) {
            error = code;
        }
    }
    throw error;
}

bool is_connected(SOCKET s, DWORD& error) noexcept
{
    for (;;) {
        char scrap[512];
        const int got = ::recv(s, scrap, sizeof scrap, 0);
        if (got > 0)
            continue;
        if (got == 0) {
            error = WSAECONNRESET;
            return false;
        }
        const DWORD code = last_socket_error();
        if (code == WSAEWOULDBLOCK)
            return true;
        error = code;
        return false;
    }
}

void send_all(SOCKET s, std::string_view bytes, DWORD timeout_ms)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
    while (!bytes.empty()) {
        const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
        const int sent = ::send(s, bytes.data(), chunk, 0);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (::WSAGetLastError() != WSAEWOULDBLOCK)
            throw last_socket_error();
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            throw DWORD{WSAETIMEDOUT};
        const ULONGLONG left = deadline - now;
        timeval wait{static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        const int ready = ::select(0, nullptr, &writable, nullptr, &wait);
        if (ready < 0)
            throw last_socket_error();
    }
}

} // namespace kvt
