// Lines committed to disk: from the first CreateMessage of a batch until Suspend(TRUE)
// returns, which is when the writer has written the batch's last line and closed the file.
// Against the floor, one WriteFile per line of the very bytes the writer wrote, and against
// spdlog's rotating file logger writing as many lines of the same length in bytes.

#include "bench_message.h"
#include "benchmarks.h"
#include "inprocess_service.h"
#include "spdlog_side.h"
#include "timing.h"

#include "win/unique_resource.h"

#include <stdexcept>
#include <string>

namespace kvt::bench {

std::string last_line(const std::wstring& file)
{
    const std::vector<unsigned char> bytes = test::read_file_bytes(file);
    const std::string text(bytes.begin(), bytes.end());
    const std::string crlf("\r\0\n\0", 4);
    if (text.size() < 6 || text.compare(text.size() - 4, 4, crlf) != 0)
        throw std::runtime_error("the log file does not end with a line");
    const std::size_t before = text.rfind(crlf, text.size() - 5);
    return text.substr(before == std::string::npos ? 2 : before + 4);
}

double writer_seconds(const inprocessservice& service, std::size_t lines)
{
    const stopwatch watch;
    for (std::size_t i = 0; i < lines; ++i)
        if (!log_message(service.source()))
            throw std::runtime_error("a message of the writer benchmark failed");
    service.suspend();
    const double seconds = watch.seconds();
    service.resume();
    return seconds;
}

double floor_seconds(const std::wstring& file, const std::string& line, std::size_t lines)
{
    uniquehandle f(::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f)
        throw std::runtime_error("cannot create the floor's file");
    const stopwatch watch;
    for (std::size_t i = 0; i < lines; ++i) {
        DWORD written;
        ::WriteFile(f.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    const double seconds = watch.seconds();
    f.reset();
    ::DeleteFileW(file.c_str());
    return seconds;
}

std::vector<result> measure_writer(const plan& p)
{
    const inprocessservice service;
    // A first batch opens the file, shows the line the writer makes of the message, and
    // sizes the batches.
    const std::size_t lines =
        items_for(p.writer_seconds, [&](std::size_t n) { return writer_seconds(service, n); });
    const std::string line = last_line(service.current_file());
    const double n = static_cast<double>(lines);
    const std::wstring floor_file = service.directory() + L"\\floor.TXT";
    const std::wstring spdlog_file = service.directory() + L"\\spdlog.log";
    const std::string bytes = " (" + std::to_string(line.size()) + " B lines)";

    result floor{"3a", "writer: lines on disk" + bytes, "lines/s", "one WriteFile per preformatted line",
                 "lines/s", better::higher, 0.8, {}, {}};
    result spdlog{"3b", "writer: lines on disk" + bytes, "lines/s", "spdlog async rotating file logger",
                  "lines/s", better::higher, 1.0, {}, {}};
    for (unsigned i = 0; i < p.repetitions; ++i) {
        const double kvtlog = n / writer_seconds(service, lines);
        if (last_line(service.current_file()).size() != line.size())
            throw std::runtime_error("the writer's lines changed their length");
        floor.values.push_back(kvtlog);
        floor.baseline_values.push_back(n / floor_seconds(floor_file, line, lines));
        spdlog.values.push_back(kvtlog);
        spdlog.baseline_values.push_back(n / spdlog_writer_seconds(spdlog_file, lines, line.size()));
    }
    return {floor, spdlog};
}

} // namespace kvt::bench
