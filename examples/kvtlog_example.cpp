// A small program that logs through the machine's logging service: a few messages of
// several levels and kinds, from two threads sharing one source. Its lines go to
// <log directory>\CA7\Example-1.0.0.0.TXT.

#include <kvtlog/client.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

namespace {

// Failed calls are dropped; this program just tells about them.
void show_failure(HRESULT hr, const char* operation)
{
    std::fprintf(stderr, "kvtlog_example: %s failed: 0x%08lX\n", operation, static_cast<unsigned long>(hr));
}

std::uint64_t checksum(const std::wstring& text)
{
    std::uint64_t sum = 14695981039346656037ull;
    for (const wchar_t c : text)
        sum = (sum ^ c) * 1099511628211ull;
    return sum;
}

void copy_file(const kvtlog::source& log, const std::wstring& from, const std::wstring& to)
{
    log.debug() << L"copying " << from << L" to " << to;
    if (!::CopyFileW(from.c_str(), to.c_str(), TRUE)) {
        // Taken first: the calls that make the message change the thread's last error.
        const DWORD error = ::GetLastError();
        log.error() << L"cannot copy " << from << L": " << kvtlog::errorcode(error);
    }
}

} // namespace

int main()
{
    kvtlog::apartment com;
    const kvtlog::source log{7, L"Example", {1, 0, 0, 0}, show_failure};
    if (!log)
        return 1;

    log.event() << "started, process " << ::GetCurrentProcessId();

    std::thread worker([&log] {
        kvtlog::apartment worker_com;
        for (int i = 1; i <= 3; ++i)
            log.info().ids(i, 3) << "step " << i << " of 3, " << 0.5 * i << " done";
    });
    worker.join();

    copy_file(log, L"no-such-file.txt", L"copy.txt");
    log.warning() << "flags " << kvtlog::hex32(0x2A) << ", verbose " << false;

    // Values that take time to make are made only when their level is on.
    if (auto m = log.trace())
        m << "checksum " << kvtlog::hex64(checksum(L"Example"));

    log.event() << "stopped";
    return 0;
}
