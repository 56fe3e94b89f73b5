#pragma once
// The one place where exceptions become HRESULTs. Inside the server, failures travel as
// exceptions of a few kinds; every COM method runs its body through com_boundary and names
// the kinds it expects:
//
//     return com_boundary(catches::memory | catches::win32 | catches::other, [&] {
//         ...
//         return S_OK;
//     });
//
// A kind the method does not name is not converted: it leaves com_boundary again, and since
// COM methods are noexcept, it ends the process instead of turning into a result that the
// method's contract does not allow. catches::other converts everything that no named kind
// converts to E_FAIL: in a method that catches memory | other, a thrown Win32 code gives
// E_FAIL; in one that catches only other, so does std::bad_alloc.

#include <windows.h>

#include <new>
#include <optional>

namespace kvt {

// Out of memory with a text for whoever inspects the exception; std::bad_alloc carries
// none. The text must outlive the exception (a literal).
class outofmemory : public std::bad_alloc {
public:
    explicit outofmemory(const char* text) noexcept : text_(text) {}
    const char* what() const noexcept override { return text_; }

private:
    const char* text_;
};

// The kinds of exception a COM method converts.
enum class catches : unsigned {
    memory = 1,   // std::bad_alloc: E_OUTOFMEMORY
    hresult = 2,  // an HRESULT thrown as a value: that value
    win32 = 4,    // a Win32 error code thrown as a DWORD: hresult_from_win32 of it
    other = 8,    // anything not converted by a named kind: E_FAIL
};

constexpr catches operator|(catches a, catches b) noexcept
{
    return static_cast<catches>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

constexpr bool covers(catches kinds, catches kind) noexcept
{
    return (static_cast<unsigned>(kinds) & static_cast<unsigned>(kind)) != 0;
}

// The code itself when it is 0 or negative as a signed value, else a FACILITY_WIN32 error.
constexpr HRESULT hresult_from_win32(DWORD code) noexcept
{
    return static_cast<LONG>(code) <= 0 ? static_cast<HRESULT>(code)
                                        : static_cast<HRESULT>((code & 0xFFFF) | 0x80070000);
}

namespace detail {

// The result for the exception being handled, or nothing when kinds does not cover it.
// Called only from inside a handler.
inline std::optional<HRESULT> result_of_current_exception(catches kinds) noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        if (covers(kinds, catches::memory))
            return E_OUTOFMEMORY;
    } catch (HRESULT hr) {
        if (covers(kinds, catches::hresult))
            return hr;
    } catch (DWORD code) {
        if (covers(kinds, catches::win32))
            return hresult_from_win32(code);
    } catch (...) {
    }
    if (covers(kinds, catches::other))
        return E_FAIL;
    return std::nullopt;
}

} // namespace detail

// Runs body (which returns the method's HRESULT) and converts the exceptions of the given
// kinds; any other exception is rethrown unchanged.
template <class Body>
HRESULT com_boundary(catches kinds, Body&& body)
{
    try {
        return body();
    } catch (...) {
        if (const std::optional<HRESULT> hr = detail::result_of_current_exception(kinds))
            return *hr;
        throw;
    }
}

} // namespace kvt
