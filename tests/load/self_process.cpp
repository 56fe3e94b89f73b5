#include "load/self_process.h"

#include <cstring>
#include <vector>

namespace kvt::test {

unique_handle start_self(const char* role_switch, const std::wstring& arguments)
{
    std::vector<wchar_t> program(MAX_PATH);
    while (::GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())) == program.size())
        program.resize(program.size() * 2);
    std::wstring command = L"\"" + std::wstring(program.data()) + L"\" " +
                           std::wstring(role_switch, role_switch + std::strlen(role_switch)) + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.data(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return {};
    const unique_handle thread(info.hThread);
    return unique_handle(info.hProcess);
}

} // namespace kvt::test
