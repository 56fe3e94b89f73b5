#include "load/running_server.h"

#include "processes.h"
#include "support/start_process.h"
#include "support/wait_for_writer.h"

#include <algorithm>
#include <cstring>

namespace kvt::test {

uniquehandle start_self(const char* role_switch, const std::wstring& arguments)
{
    std::vector<wchar_t> program(MAX_PATH);
    while (::GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())) == program.size())
        program.resize(program.size() * 2);
    std::wstring command = L"\"" + std::wstring(program.data()) + L"\" " +
                           std::wstring(role_switch, role_switch + std::strlen(role_switch)) + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!start_process(program.data(), command.data(), FALSE, startup, info))
        return {};
    const uniquehandle thread(info.hThread);
    return uniquehandle(info.hProcess);
}

void ServerTest::SetUp()
{
    serverfixture::SetUp();
    if (HasFatalFailure())
        return;
    activate(service_);
    if (!HasFatalFailure()) {
        ASSERT_EQ(service_.As(&control_), S_OK);
    }
}

void ServerTest::TearDown()
{
    if (server_) {
        EXPECT_EQ(stop_server(), 0u) << "the server did not stop normally";
    }
    if (server_)
        end_server_by_force();
    serverfixture::TearDown();
}

DWORD ServerTest::stop_server(DWORD timeout_ms)
{
    control_.Reset();
    service_.Reset();
    if (::WaitForSingleObject(server_.get(), timeout_ms) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    const DWORD code = exit_code(server_);
    server_.reset();
    return code;
}

void ServerTest::end_server_by_force()
{
    const uniquehandle server(::OpenProcess(PROCESS_TERMINATE, FALSE, ::GetProcessId(server_.get())));
    ::TerminateProcess(server.get(), 1);
    ::WaitForSingleObject(server_.get(), 10000);
    server_.reset();
}

ComPtr<ILogSource> ServerTest::create_source(DWORD id, const wchar_t* name, const DWORD version[4])
{
    ComPtr<ILogSource> source;
    EXPECT_EQ(service_->CreateSource(id, name, version, IID_ILogSource, &source), S_OK);
    return source;
}

void ServerTest::log(ILogSource* source, const wchar_t* text)
{
    ASSERT_TRUE(source);
    ComPtr<ILogMessage> message;
    ASSERT_EQ(source->CreateMessage(0x02, IID_ILogMessage, &message), S_OK);
    ASSERT_EQ(message->AddWString(text), S_OK);
}

void ServerTest::wait_for_writer() { test::wait_for_writer(control_.Get()); }

bool has_line_ending(const std::vector<std::wstring>& lines, const std::wstring& text)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) { return line.ends_with(text); });
}

} // namespace kvt::test
