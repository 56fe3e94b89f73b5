#include "registration/registration.h"

#include "core/error.h"
#include "core/message_box.h"
#include "registration/registration_errors.h"
#include "settings/log_settings.h"
#include "settings/settings_key.h"
#include "win/registry.h"

#include <array>
#include <new>
#include <optional>
#include <string>
#include <string_view>

namespace kvt {

namespace {

const wchar_t registration_caption[] = L"COM Server Registration";
const wchar_t service_name[] = L"KVT Logging Service";

using module_path = std::array<wchar_t, MAX_PATH + 1>;

module_path running_module_path()
{
    module_path path{};
    if (::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())) == 0)
        throw syserror(::GetLastError(), registration_caption, L"GetModuleFileNameW() failed.\n\nError %2!d!: %1");
    return path;
}

// Creates parent\name, sets its (default) string and closes it again.
void write_subkey_string(HKEY parent, const wchar_t* name, const wchar_t* text)
{
    set_string(create_key(parent, name, KEY_SET_VALUE).get(), nullptr, text);
}

// "%TEMP%", else "%TMP%", when that variable is defined: the directory then follows the
// variable at run time. None when neither is defined or memory runs out.
std::optional<std::wstring> environment_log_directory() noexcept
{
    for (const wchar_t* name : {L"TEMP", L"TMP"}) {
        if (::GetEnvironmentVariableW(name, nullptr, 0) == 0)
            continue;
        try {
            return L"%" + std::wstring(name) + L"%";
        } catch (const std::bad_alloc&) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// "log" beside the program. None when the path has no directory part to put it in (no
// separator, or only a leading one) or memory runs out.
std::optional<std::wstring> module_log_directory(const wchar_t* module) noexcept
{
    const std::wstring_view path(module);
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring_view::npos || separator == 0)
        return std::nullopt;
    try {
        return std::wstring(path.substr(0, separator)) + L"\\log";
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

void write_log_directory(HKEY settings, const wchar_t* log_path, const wchar_t* module)
{
    if (log_path)
        return set_string(settings, nullptr, log_path, references_environment(log_path) ? REG_EXPAND_SZ : REG_SZ);
    if (const std::optional<std::wstring> text = environment_log_directory())
        return set_string(settings, nullptr, text->c_str(), REG_EXPAND_SZ);
    if (const std::optional<std::wstring> text = module_log_directory(module))
        return set_string(settings, nullptr, text->c_str(), REG_SZ);
    // No directory at all: the service then falls back to its own default at run time.
    const LSTATUS status = ::RegDeleteValueW(settings, nullptr);
    if (status != ERROR_FILE_NOT_FOUND)
        check_win32(status);
}

// The defaults for every source id; values of single ids stay as they are.
void write_settings(HKEY settings, const wchar_t* log_path, const wchar_t* module)
{
    write_log_directory(settings, log_path, module);
    // Every bit, so that levels added later are on too.
    const DWORD every_level_bit = 0xFFFFFFFF;
    set_value(create_key(settings, level_subkey, KEY_ALL_ACCESS).get(), nullptr, REG_DWORD, &every_level_bit,
              sizeof every_level_bit);
    set_value(create_key(settings, limit_subkey, KEY_ALL_ACCESS).get(), nullptr, REG_BINARY, &builtin_limit,
              sizeof builtin_limit);
}

void write_class_keys(const wchar_t* class_id, const wchar_t* module, const wchar_t* log_path)
{
    const uniquehkey class_key = create_key(HKEY_CLASSES_ROOT, class_key_path(class_id).c_str(), KEY_ALL_ACCESS);
    set_string(class_key.get(), nullptr, service_name);
    write_subkey_string(class_key.get(), local_server_subkey, module);
    write_subkey_string(class_key.get(), progid_subkey, version_progid);
    write_settings(create_key(class_key.get(), settings_subkey, KEY_ALL_ACCESS).get(), log_path, module);
}

uniquehkey write_progid(const wchar_t* name, const wchar_t* class_id)
{
    uniquehkey key = create_key(HKEY_CLASSES_ROOT, name, KEY_ALL_ACCESS);
    set_string(key.get(), nullptr, service_name);
    write_subkey_string(key.get(), clsid_key, class_id);
    return key;
}

} // namespace

void register_server(const wchar_t* log_path)
{
    const classidtext class_id = make_class_id_text(registration_caption);
    const module_path module = running_module_path();
    translate_registry_errors(registration_caption, [&] {
        write_class_keys(class_id.data(), module.data(), log_path);
        write_progid(version_progid, class_id.data());
        write_subkey_string(write_progid(progid, class_id.data()).get(), current_version_subkey, version_progid);
    });
    show_message(L"COM Server registered successfully.", registration_caption, MB_OK | MB_ICONINFORMATION);
}

} // namespace kvt
