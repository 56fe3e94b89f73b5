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

// Waits for the event or one of the cancel events: WAIT_OBJECT_0 for the event, WAIT_TIMEOUT,
// or another value when a cancel event came first.
DWORD wait_unless_cancelled(HANDLE event, const HANDLE* cancel, DWORD cancel_count, DWORD timeout_ms) noexcept
{
    HANDLE events[MAXIMUM_WAIT_OBJECTS];
    const DWORD count = std::min<DWORD>(cancel_count, MAXIMUM_WAIT_OBJECTS - 1);
    events[0] = event;
    std::copy_n(cancel, count, events + 1);
    return ::WaitForMultipleObjects(count + 1, events, FALSE, timeout_ms);
}

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

    const DWORD waited = wait_unless_cancelled(connected.get(), cancel, cancel_count, timeout_ms);
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

bool send_all(SOCKET s, std::string_view bytes, DWORD timeout_ms, const HANDLE* cancel, DWORD cancel_count)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
    uniquehandle room;  // made when a send first finds no room; set when there is some again
    // Lets go of room before it is closed; the socket stays non-blocking.
    struct unselect {
        SOCKET s;
        const uniquehandle& room;
        ~unselect()
        {
            if (room)
                ::WSAEventSelect(s, nullptr, 0);
        }
    } const guard{s, room};
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
        if (!room) {
            room.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
            if (!room)
                throw ::GetLastError();
            if (::WSAEventSelect(s, room.get(), FD_WRITE | FD_CLOSE) != 0)
                throw last_socket_error();
        }
        const DWORD waited =
            wait_unless_cancelled(room.get(), cancel, cancel_count, static_cast<DWORD>(deadline - now));
        if (waited != WAIT_OBJECT_0 && waited != WAIT_TIMEOUT)
            return false;
    }
    return true;
}

} // namespace kvt
