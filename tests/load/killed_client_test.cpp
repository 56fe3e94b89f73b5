// A client process terminated while it holds sources and half-built messages.
//
// What becomes of the dead client's objects: the server cannot tell that a client has died;
// only COM's distributed garbage collection releases the references the client held. On
// Windows that happens once the client has missed its pings, some minutes later (three
// missed pings of two minutes each): each half-built message then gets its last Release,
// which commits it, so its record is written with whatever it had been given; each source
// is released and its file closed; and when nothing else holds the server, it stops as
// usual. Wine (8.0) has no such garbage collection: the references stay (still held after
// seven minutes when we tried), the half-built messages are not written, and the server runs
// until it is ended by hand.
// Either way the server keeps serving everyone else. This test checks only what holds on
// both within its few seconds: others are served, nothing half-built is written, and the
// server stays up after every live client has let go. It then ends the server itself, so it
// runs as its own ctest entry, which restarts the Wine session after it (a killed COM server
// leaves a stale class registration behind in Wine).

#include "load/running_server.h"

#include <kvtlog/client.h>

namespace kvt::test {

namespace {

constexpr DWORD id = 11;
constexpr DWORD version[4] = {1, 0, 0, 0};
constexpr wchar_t shared_name[] = L"shared";      // the dead client's and the survivor's
constexpr wchar_t victim_name[] = L"victimonly";  // the dead client's alone
constexpr wchar_t half_built[] = L"half-built";

class KilledClientTest : public ServerTest {};

TEST_F(KilledClientTest, ServerKeepsServingOthersAndStaysUpForTheDeadClientsReferences)
{
    // The victim sets the event once it holds its objects.
    const std::wstring ready_name = L"kvtlog-victim-" + std::to_wstring(::GetCurrentProcessId());
    const uniquehandle ready(::CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
    const uniquehandle victim = start_self(victim_switch, ready_name);
    ASSERT_TRUE(victim);
    const HANDLE both[] = {ready.get(), victim.get()};
    ASSERT_EQ(::WaitForMultipleObjects(2, both, FALSE, 30000), WAIT_OBJECT_0) << "the victim did not get ready";
    ASSERT_TRUE(::TerminateProcess(victim.get(), 9));
    ASSERT_EQ(::WaitForSingleObject(victim.get(), 10000), WAIT_OBJECT_0);

    // The source object the dead client shares, a pointer activated before its death and
    // one activated after it all keep working.
    log(create_source(id, shared_name, version).Get(), L"survivor-before");
    ASSERT_EQ(activate_service(service_), S_OK) << "activation failed after a client was terminated";
    log(create_source(id, shared_name, version).Get(), L"survivor-after");
    log(create_source(id, L"fresh", version).Get(), L"fresh-source");
    wait_for_writer();

    const std::vector<std::wstring> shared = lines_of(id, shared_name, version);
    EXPECT_TRUE(has_line_ending(shared, L"survivor-before"));
    EXPECT_TRUE(has_line_ending(shared, L"survivor-after"));
    EXPECT_TRUE(has_line_ending(lines_of(id, L"fresh", version), L"fresh-source"));
    EXPECT_FALSE(has_line_ending(shared, half_built));
    EXPECT_FALSE(file_exists(log_file_path(logs_.path(), id, victim_name, version)));

    EXPECT_EQ(stop_server(2000), STILL_ACTIVE) << "the server stopped although the dead client's references remain";
    if (server_)
        end_server_by_force();
}

} // namespace

// The victim: one source it shares with the survivor and one of its own, a half-built
// message on each, and a message whose source pointer it has already let go.
int run_victim(const wchar_t* ready_event)
{
    const kvtlog::apartment apartment;
    ComPtr<ILogService> service;
    if (FAILED(activate_service(service)))
        return 3;
    ComPtr<ILogSource> sources[2];
    ComPtr<ILogMessage> messages[3];
    const wchar_t* names[] = {shared_name, victim_name};
    for (int i = 0; i < 2; ++i) {
        if (FAILED(service->CreateSource(id, names[i], version, IID_ILogSource,
                                         reinterpret_cast<void**>(sources[i].GetAddressOf()))))
            return 4;
    }
    for (int i = 0; i < 3; ++i) {
        if (FAILED(sources[i % 2]->CreateMessage(0x02, IID_ILogMessage, reinterpret_cast<void**>(messages[i].GetAddressOf()))) ||
            FAILED(messages[i]->AddWString(half_built)))
            return 5;
    }
    sources[1].Reset();
    const uniquehandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready_event));
    if (!ready || !::SetEvent(ready.get()))
        return 6;
    ::Sleep(INFINITE);
    return 0;
}

} // namespace kvt::test
