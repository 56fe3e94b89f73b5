#include "settings/log_settings.h"

#include "core/sourcekey.h"
#include "settings/environment.h"
#include "settings/same_directory.h"
#include "settings/settings_key.h"
#include "win/registry.h"

#include <algorithm>
#include <cwchar>
#include <new>
#include <optional>

namespace kvt {

namespace {

// Null when the subkey cannot be opened (also when the Settings key itself is missing).
uniquehkey open_for_reading(HKEY key, const wchar_t* subkey) noexcept
{
    return try_open_key(key, subkey, KEY_QUERY_VALUE);
}

// Throws the code of a failed open (ERROR_INVALID_HANDLE when the Settings key is missing).
uniquehkey open_for_writing(HKEY key, const wchar_t* subkey)
{
    return open_key(key, subkey, KEY_SET_VALUE);
}

// A stored mask; 0 for a value that is not a REG_DWORD or holds more than 4 bytes, which
// counts as set (to nothing) rather than absent. Empty when the value cannot be read.
std::optional<std::uint32_t> query_mask(HKEY key, const wchar_t* name) noexcept
{
    DWORD type = REG_NONE;
    DWORD mask = 0;
    DWORD size = sizeof mask;
    const LSTATUS status = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&mask), &size);
    if (status == ERROR_MORE_DATA)
        return 0;
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return type == REG_DWORD ? mask : 0;
}

// The id's own mask, else the (default) mask of Level; 0 when neither can be read.
std::uint32_t read_level(HKEY settings, std::uint32_t id) noexcept
{
    const uniquehkey key = open_for_reading(settings, level_subkey);
    if (!key)
        return 0;
    if (id != default_source_id) {
        if (const auto mask = query_mask(key.get(), valuename(id).get()))
            return *mask;
    }
    return query_mask(key.get(), nullptr).value_or(0);
}

// A stored record; its type is not examined and bytes beyond the fifth are ignored. A value
// shorter than 5 bytes holds no whole record and answers the built-in one (no fall-back to
// the (default) record: the value exists). Empty when the value cannot be read.
std::optional<limitrecord> query_limit(HKEY key, const wchar_t* name)
{
    const binaryvalue value = read_binary_value(key, name);
    if (value.status != ERROR_SUCCESS)
        return std::nullopt;
    if (value.data.size() < sizeof(limitrecord))
        return builtin_limit;
    const BYTE* b = value.data.data();
    return limitrecord{static_cast<std::uint32_t>(b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t{b[3]} << 24), b[4]};
}

// The id's own record, else the (default) record of Limit, else the built-in one.
limitrecord read_limit(HKEY settings, std::uint32_t id)
{
    const uniquehkey key = open_for_reading(settings, limit_subkey);
    if (!key)
        return builtin_limit;
    if (id != default_source_id) {
        if (const auto record = query_limit(key.get(), valuename(id).get()))
            return *record;
    }
    return query_limit(key.get(), nullptr).value_or(builtin_limit);
}

std::optional<std::uint32_t> query_dword(HKEY key, const wchar_t* name) noexcept
{
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

pathref copy_text(const std::wstring& text)
{
    wchar_t* copy = new wchar_t[text.size() + 1];
    std::copy(text.c_str(), text.c_str() + text.size() + 1, copy);
    return pathref::adopt(copy);
}

} // namespace

logsettings::logsettings()
{
    // Without the key (the server is not registered) the store still works: reads fall back
    // to their defaults and writes fail with ERROR_INVALID_HANDLE.
    key_ = open_for_reading(HKEY_CLASSES_ROOT, settings_key_path().c_str());
}

logsettings::~logsettings() = default;

pathref logsettings::log_path()
{
    const sectionguard guard(path_lock_);
    if (cached_path_)
        return cached_path_;
    const auto stored = read_string_value(key_.get(), nullptr);
    if (!stored)
        return {};  // not cached: the next call reads again
    if (stored->type != REG_EXPAND_SZ) {
        cached_path_ = copy_text(stored->text);
    } else {
        const auto expanded = expand_environment(stored->text.c_str(), 0);
        if (!expanded) {
            // A code of 0 would read as success at the COM boundary.
            const DWORD code = ::GetLastError();
            throw code != ERROR_SUCCESS ? code : static_cast<DWORD>(ERROR_INVALID_DATA);
        }
        cached_path_ = copy_text(*expanded);
    }
    return cached_path_;
}

bool logsettings::set_log_path(const wchar_t* text)
{
    if (!text)
        return false;
    const bool refs = references_environment(text);
    const sectionguard guard(path_lock_);
    const auto old = read_string_value(key_.get(), nullptr);
    const wchar_t* old_text = old ? old->text.c_str() : nullptr;
    const bool changed = !same_directory(old_text, old && old->type == REG_EXPAND_SZ, text, refs);
    // A text that differs only in letter case is not worth a write; one that differs
    // otherwise is stored even when it resolves to the same directory. A stored value of a
    // non-string type is left as it is.
    if (old_text && _wcsicmp(old_text, text) != 0) {
        set_string(open_for_writing(key_.get(), nullptr).get(), nullptr, text, refs ? REG_EXPAND_SZ : REG_SZ);
        cached_path_.reset();
    }
    return changed;
}

std::uint32_t logsettings::level(std::uint32_t id) noexcept
{
    const sectionguard guard(level_lock_);
    try {
        // The entry is made before the registry is read, so an id whose value cannot be read
        // keeps answering 0 without asking the registry again.
        const auto [entry, inserted] = levels_.try_emplace(id, 0);
        if (inserted)
            entry->second = read_level(key_.get(), id);
        return entry->second;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

bool logsettings::set_level(std::uint32_t id, std::uint32_t mask)
{
    const sectionguard guard(level_lock_);
    if (level(id) == mask)
        return false;
    set_value(open_for_writing(key_.get(), level_subkey).get(), valuename(id).get(), REG_DWORD, &mask, sizeof mask);
    levels_[id] = mask;
    level_changes_.fetch_add(1, std::memory_order_release);
    return true;
}

limitrecord logsettings::limit(std::uint32_t id) noexcept
{
    const sectionguard guard(limit_lock_);
    try {
        const auto [entry, inserted] = limits_.try_emplace(id, builtin_limit);
        if (inserted)
            entry->second = read_limit(key_.get(), id);
        return entry->second;
    } catch (const std::bad_alloc&) {
        return builtin_limit;
    }
}

bool logsettings::set_limit(std::uint32_t id, const limitrecord& record)
{
    const sectionguard guard(limit_lock_);
    const limitrecord old = limit(id);
    if (old == record)
        return false;
    set_value(open_for_writing(key_.get(), limit_subkey).get(), valuename(id).get(), REG_BINARY, &record,
              sizeof record);
    limits_[id] = record;
    return old.size_kib > record.size_kib;
}

forwardtarget logsettings::forward_target()
{
    const sectionguard guard(forward_lock_);
    forwardtarget target;
    std::optional<storedstring> host;
    try {
        host = read_string_value(key_.get(), forward_host_value);
    } catch (DWORD) {
        return target;
    }
    const std::uint32_t port = query_dword(key_.get(), forward_port_value).value_or(0);
    if (!host || port == 0 || port > 0xFFFF)
        return target;
    target.host = host->text;
    target.port = static_cast<std::uint16_t>(port);
    target.facility = query_dword(key_.get(), forward_facility_value).value_or(default_facility);
    if (target.facility > max_facility)
        target.facility = default_facility;
    target.levels = query_dword(key_.get(), forward_levels_value).value_or(target.levels);
    return target;
}

void logsettings::set_forward_target(const forwardtarget& target)
{
    const sectionguard guard(forward_lock_);
    const uniquehkey key = open_for_writing(key_.get(), nullptr);
    if (!target.on()) {
        const LSTATUS status = ::RegDeleteValueW(key.get(), forward_host_value);
        if (status != ERROR_FILE_NOT_FOUND)
            check_win32(status);
        return;
    }
    const DWORD values[3] = {target.port, target.facility, target.levels};
    set_value(key.get(), forward_port_value, REG_DWORD, &values[0], sizeof(DWORD));
    set_value(key.get(), forward_facility_value, REG_DWORD, &values[1], sizeof(DWORD));
    set_value(key.get(), forward_levels_value, REG_DWORD, &values[2], sizeof(DWORD));
    // The host last: a target is on only once it is whole.
    set_string(key.get(), forward_host_value, target.host.c_str());
}

} // namespace kvt
