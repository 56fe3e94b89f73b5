#include "registered_server.h"

#include "bench_message.h"
#include "inprocess_service.h"

#include "kvtlog/com_ptr.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <stdexcept>
#include <vector>

namespace kvt::bench {

namespace {

kvtlog::comptr<ILogControl> control_of(ILogService& service)
{
    kvtlog::comptr<ILogControl> control;
    throw_if_failed(service.QueryInterface(IID_ILogControl, control.put_void()), "QueryInterface(ILogControl)");
    return control;
}

std::vector<PROCESSENTRY32W> processes()
{
    std::vector<PROCESSENTRY32W> list;
    const uniquehandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        list.push_back(entry);
    return list;
}

} // namespace

LogCounters bench_counters(ILogService& service)
{
    kvtlog::comptr<ILogAdmin> admin;
    throw_if_failed(service.QueryInterface(IID_ILogAdmin, admin.put_void()), "QueryInterface(ILogAdmin)");
    DWORD id = 0;
    LogCounters counters{};
    throw_if_failed(admin->GetCounters(bench_source_id, &id, &counters), "GetCounters");
    return id == bench_source_id ? counters : LogCounters{};
}

void suspend_writing(ILogService& service) { throw_if_failed(control_of(service)->Suspend(TRUE), "Suspend(TRUE)"); }

void resume_writing(ILogService& service) { throw_if_failed(control_of(service)->Suspend(FALSE), "Suspend(FALSE)"); }

std::wstring bench_file(ILogService& service)
{
    uniquetaskmem<wchar_t> path;
    throw_if_failed(control_of(service)->GetLogPath(path.put()), "GetLogPath");
    return std::wstring(path.get()) + L"\\" + bench_log_file;
}

uniquehandle server_process()
{
    uniquehandle found;
    for (const PROCESSENTRY32W& entry : processes()) {
        if (::CompareStringOrdinal(entry.szExeFile, -1, L"kvtlog.exe", -1, TRUE) != CSTR_EQUAL)
            continue;
        if (found)
            throw std::runtime_error("more than one server process");
        found.reset(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID));
        if (!found)
            throw std::runtime_error("cannot open the server process");
    }
    if (!found)
        throw std::runtime_error("no server process");
    return found;
}

processmemory memory_of(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters{};
    if (!::GetProcessMemoryInfo(process, &counters, sizeof counters))
        throw std::runtime_error("GetProcessMemoryInfo failed");
    processmemory m{counters.PagefileUsage, 0, 0};
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; ::VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize)
        if (region.State == MEM_COMMIT && region.Type == MEM_MAPPED)
            m.mapped_bytes += region.RegionSize;
    for (const PROCESSENTRY32W& entry : processes())
        if (entry.th32ProcessID == ::GetProcessId(process))
            m.threads = entry.cntThreads;
    return m;
}

} // namespace kvt::bench
