#include "load/log_paths.h"

#include "win/unique_resource.h"

namespace kvt::test {

namespace {

struct find_traits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(type h) noexcept { return h != INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::FindClose(h); }
};

} // namespace

std::wstring id_directory(const std::wstring& log_directory, DWORD id)
{
    return log_directory + (id == 0 ? L"\\GE" : L"\\CA" + std::to_wstring(id));
}

std::wstring log_file_name(const std::wstring& name, const DWORD version[4], unsigned index)
{
    std::wstring text = name;
    for (int i = 0; i < 4; ++i)
        text += (i ? L"." : L"-") + std::to_wstring(static_cast<LONG>(version[i]));
    if (index)
        text += L"-" + std::to_wstring(index);
    return text + L".TXT";
}

std::wstring log_file_path(const std::wstring& log_directory, DWORD id, const std::wstring& name,
                           const DWORD version[4], unsigned index)
{
    return id_directory(log_directory, id) + L"\\" + log_file_name(name, version, index);
}

std::vector<directory_entry> list_directory(const std::wstring& directory)
{
    std::vector<directory_entry> entries;
    WIN32_FIND_DATAW data;
    const unique_resource<find_traits> find(::FindFirstFileW((directory + L"\\*").c_str(), &data));
    for (BOOL more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &data)) {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    }
    return entries;
}

} // namespace kvt::test
