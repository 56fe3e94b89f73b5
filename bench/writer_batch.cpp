// Lines on disk from record batches, as the record channel hands them to the writer: 64
// records a message, timed from the first post until the writer has written the last line
// and closed the file. Against one WriteFile per line of the very bytes the writer wrote,
// and against spdlog's rotating file logger writing as many lines of the same length.

#include "bench_message.h"
#include "benchmarks.h"
#include "spdlog_side.h"
#include "timing.h"

#include "settings/log_settings.h"
#include "support/scratch_registry.h"
#include "support/temp_directory.h"
#include "writer/writer_thread.h"

#include <stdexcept>

namespace kvt::bench {

namespace {

constexpr std::size_t batch_records = 64;

class batchwriter {
public:
    std::wstring file() const { return directory() + L"\\" + bench_log_file; }
    const std::wstring& directory() const noexcept { return scratch_.directory.path(); }

    // The batches are made before the clock starts: the writer's work alone is timed.
    double seconds(std::size_t lines)
    {
        std::vector<std::unique_ptr<recordbatch>> batches;
        for (std::size_t made = 0; made < lines; made += batch_records) {
            batches.push_back(std::make_unique<recordbatch>());
            for (std::size_t i = made; i < std::min(lines, made + batch_records); ++i)
                add_bench_message(*batches.back());
        }
        const stopwatch watch;
        for (auto& batch : batches)
            writer_.commit(std::move(batch));
        wait_for_writer();
        return watch.seconds();
    }

private:
    // The bench message as the channel would hand it over.
    void add_bench_message(recordbatch& batch)
    {
        SYSTEMTIME time;
        ::GetLocalTime(&time);
        batch.add_record(key_, counters_, message_level, time, 0, 0, L"bench_message.cpp", 20, L"log_message");
        batch.add_signed(message_number);
        batch.add_wide(message_text);
        batch.add_real(message_real);
    }

    // Suspend waits for every earlier message and closes the file; resume lets the next run write.
    void wait_for_writer()
    {
        const uniquehandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!writer_.post(WM_LOGSUSPEND, reinterpret_cast<WPARAM>(done.get()), 0) ||
            ::WaitForSingleObject(done.get(), INFINITE) != WAIT_OBJECT_0 || !writer_.post(WM_LOGSUSPEND, 0, 0))
            throw std::runtime_error("the batch writer did not finish");
    }

    // The default settings, written before the store reads them.
    struct scratch {
        scratch() { test::write_default_settings(directory.path()); }
        test::scratchregistry registry;
        test::tempdirectory directory;
    } scratch_;
    logsettings settings_;
    sourcecounters counters_;
    writerthread writer_{settings_};
    const std::uint32_t version_[4] = {bench_source_version[0], bench_source_version[1], bench_source_version[2],
                                       bench_source_version[3]};
    const sourcekeyref key_ = make_sourcekey(bench_source_id, version_, bench_source_name);
};

} // namespace

std::vector<result> measure_writer_batches(const plan& p)
{
    batchwriter writer;
    const std::size_t lines = items_for(p.writer_seconds, [&](std::size_t n) { return writer.seconds(n); });
    const std::string line = last_line(writer.file());
    const double n = static_cast<double>(lines);
    const std::string bytes = " (" + std::to_string(line.size()) + " B lines, batches of 64)";
    result floor{"3c", "writer: lines on disk from a batch" + bytes, "lines/s", "one WriteFile per preformatted line",
                 "lines/s", better::higher, 1.0, {}, {}};
    result spdlog{"3d", "writer: lines on disk from a batch" + bytes, "lines/s", "spdlog async rotating file logger",
                  "lines/s", better::higher, 2.0, {}, {}};
    for (unsigned i = 0; i < p.repetitions; ++i) {
        const double kvtlog = n / writer.seconds(lines);
        floor.values.push_back(kvtlog);
        floor.baseline_values.push_back(n / floor_seconds(writer.directory() + L"\\floor.TXT", line, lines));
        spdlog.values.push_back(kvtlog);
        spdlog.baseline_values.push_back(
            n / spdlog_writer_seconds(writer.directory() + L"\\spdlog.log", lines, line.size()));
    }
    return {floor, spdlog};
}

} // namespace kvt::bench
