#pragma once
// Winsock for the forwarder: the library's start-up, an owner for sockets, and the few
// operations on one TCP connection that the forwarder needs, each bounded in time. Failures
// are thrown as the Winsock code (DWORD).

#include "win/unique_resource.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string_view>

namespace kvt {

inline bool is_open_socket(SOCKET s) noexcept
{
    return s != 0 && s != INVALID_SOCKET;
}
using uniquesocket = uniqueresource<SOCKET, decltype(&::closesocket), ::closesocket, is_open_socket>;

// Winsock started for as long as the object lives. Throws the code of a failed start.
class winsocksession {
public:
    winsocksession();
    ~winsocksession();
    winsocksession(const winsocksession&) = delete;
    winsocksession& operator=(const winsocksession&) = delete;
};

// A non-blocking TCP connection to the first address of host that accepts one within
// timeout_ms. Gives an empty socket when one of the cancel events is set first (they are
// not reset). Throws the Winsock code of the last failure, WSAETIMEDOUT when time ran out.
uniquesocket connect_tcp(std::wstring_view host, std::uint16_t port, DWORD timeout_ms, const HANDLE* cancel,
                         DWORD cancel_count);

// False when the peer has closed the connection or it has failed, as far as can be told
// without waiting: what the peer sent is read and thrown away. Sets error to the cause.
bool is_connected(SOCKET s, DWORD& error) noexcept;

// Sends every byte, waiting at most timeout_ms in all for room. False when one of the cancel
// events was set while it waited (they are not reset). Throws the Winsock code of the
// failure, WSAETIMEDOUT when time ran out. After a failure or a cancel, bytes may have been
// sent in part: the connection is of no further use.
bool send_all(SOCKET s, std::string_view bytes, DWORD timeout_ms, const HANDLE* cancel, DWORD cancel_count);

} // namespace kvt
