#include "support/registry_value.h"

#include "win/unique_resource.h"

namespace kvt::test {

registryvalue read_value(HKEY root, const std::wstring& subkey, const wchar_t* name)
{
    registryvalue v{ERROR_MORE_DATA, REG_NONE, {}};
    DWORD size = 4096;
    while (v.status == ERROR_MORE_DATA) {  // size is then the size the value needs
        v.data.resize(size);
        v.status = ::RegGetValueW(root, subkey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &v.type, v.data.data(), &size);
    }
    if (v.status != ERROR_SUCCESS)
        v.type = REG_NONE;
    v.data.resize(v.status == ERROR_SUCCESS ? size : 0);
    return v;
}

registryvalue string_value(const std::wstring& text, DWORD type)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {ERROR_SUCCESS, type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

bool key_exists(HKEY root, const std::wstring& subkey)
{
    uniquehkey key;
    return ::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

} // namespace kvt::test
