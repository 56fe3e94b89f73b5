#pragma once
// The names of the service's registry entries under HKEY_CLASSES_ROOT, written here only.
//
// CLSID\{class id}               the class key: the service's name as its (default) value,
//                                LocalServer32 (the program's path) and ProgID beneath it
// CLSID\{class id}\Settings      the log directory as its (default) value
//     Level, Limit               a level mask and a size limit per source id: the value
//                                named by the id, the (default) value for every other id
//     ForwardHost, ForwardPort   the collector that records are forwarded to (REG_SZ, REG_DWORD);
//     ForwardFacility,           its facility and the levels forwarded (REG_DWORD each);
//     ForwardLevels              forwarding is off while no host is stored
// KVT.Logging, KVT.Logging.1     the ProgIDs, each with a CLSID subkey; the first names
//                                the second as its CurVer

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kvt {

inline constexpr wchar_t clsid_key[] = L"CLSID";
inline constexpr wchar_t local_server_subkey[] = L"LocalServer32";
inline constexpr wchar_t progid_subkey[] = L"ProgID";
inline constexpr wchar_t settings_subkey[] = L"Settings";
inline constexpr wchar_t level_subkey[] = L"Level";
inline constexpr wchar_t limit_subkey[] = L"Limit";
inline constexpr wchar_t forward_host_value[] = L"ForwardHost";
inline constexpr wchar_t forward_port_value[] = L"ForwardPort";
inline constexpr wchar_t forward_facility_value[] = L"ForwardFacility";
inline constexpr wchar_t forward_levels_value[] = L"ForwardLevels";
inline constexpr wchar_t progid[] = L"KVT.Logging";
inline constexpr wchar_t version_progid[] = L"KVT.Logging.1";
inline constexpr wchar_t current_version_subkey[] = L"CurVer";

// CLSID_LogService as StringFromGUID2 writes it, braces included.
using classidtext = std::array<wchar_t, 39>;

// Empty when StringFromGUID2 fails, which it does only for a buffer that is too small.
std::optional<classidtext> class_id_text() noexcept;

// "CLSID\{class id}". Throws std::bad_alloc.
std::wstring class_key_path(const wchar_t* class_id);

// "CLSID\{class id}\Settings". Throws std::bad_alloc, also when StringFromGUID2 fails.
std::wstring settings_key_path();

// The registry value name of a source id under Level and Limit: its unsigned decimal text,
// or null (the (default) value) for the default source id.
class valuename {
public:
    explicit valuename(std::uint32_t id) noexcept;
    const wchar_t* get() const noexcept { return is_default_ ? nullptr : text_; }

private:
    wchar_t text_[11];
    bool is_default_;
};

} // namespace kvt
