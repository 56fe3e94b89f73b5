#include "registration/registration.h"

#include "registration/registry.h"

#include <vector>

namespace kvt {

void delete_key_tree(HKEY parent, const wchar_t* name)
{
    const uniquehkey key = open_key(parent, name, DELETE | KEY_ENUMERATE_SUB_KEYS);
    std::vector<wchar_t> subkey(256);
    for (;;) {
        DWORD size = static_cast<DWORD>(subkey.size());
        // Always index 0: each deleted subkey frees that place for the next.
        const LSTATUS status =
            ::RegEnumKeyExW(key.get(), 0, subkey.data(), &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_MORE_DATA) {
            subkey.resize(subkey.size() * 2);
            continue;
        }
        check(status);
        try {
            delete_key_tree(key.get(), subkey.data());
        } catch (DWORD code) {
            // Someone else removed it first.
            if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
                throw;
        }
    }
    check(::RegDeleteKeyW(parent, name));
}

} // namespace kvt
