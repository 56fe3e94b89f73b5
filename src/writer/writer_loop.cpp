#include "writer/writer_loop.h"

#include "writer/line_format.h"
#include "writer/line_run.h"
#include "writer/log_files.h"
#include "writer/writer_thread.h"

#include <cstdint>
#include <memory>
#include <span>

namespace kvt {

namespace {

// The writer thread's state, made when its loop starts and destroyed, with every file
// closed, when the loop ends. Touched by the writer thread only, so it needs no lock.
class writer {
public:
    explicit writer(logsettings& settings) noexcept : settings_(settings), files_(settings) {}

    // Takes ownership of the message's payload, which is destroyed on every path.
    void handle(const MSG& message)
    {
        switch (message.message) {
        case WM_LOGRECORD:
            if (const std::unique_ptr<postedrecord> posted{reinterpret_cast<postedrecord*>(message.wParam)})
                write(std::span<const postedrecord>(posted.get(), 1), [](const postedrecord& p, std::wstring& out) {
                    append_line(*p.record, out);
                });
            break;
        case WM_LOGBATCH:
            if (const std::unique_ptr<recordbatch> batch{reinterpret_cast<recordbatch*>(message.wParam)})
                write(batch->records(), [&batch](const batchrecord& r, std::wstring& out) { batch->render(r, out); });
            break;
        case WM_LOGCLOSESOURCE:
            if (const std::unique_ptr<closerequest> request{reinterpret_cast<closerequest*>(message.wParam)})
                close_log_file(files_, request->key);
            else
                close_all_files(files_);
            break;
        case WM_LOGCLOSEID:
            close_id_files(files_, static_cast<std::uint32_t>(message.lParam));
            break;
        case WM_LOGSUSPEND:
            suspend(reinterpret_cast<HANDLE>(message.wParam));
            break;
        default:
            break;  // not ours; never dispatched
        }
    }

private:
    // Longest run of lines collected for one WriteFile.
    static constexpr std::size_t max_run_units = 512 * 1024;

    // The records in order, each exactly as if it came alone; runs of lines for one file
    // are written together, ended wherever a record alone would have been written before
    // the next step. A run left by a throwing render is written on the way out.
    template <class Record, class Render>
    void write(std::span<const Record> records, Render render)
    {
        try {
            for (const Record& record : records)
                add(record.key, *record.counters, [&](std::wstring& out) { render(record, out); });
        } catch (...) {
            run_.write();
            throw;
        }
        run_.write();
    }

    // While suspended, and when the source has no file, the record is dropped unwritten.
    template <class Render>
    void add(const sourcekeyref& key, sourcecounters& counters, Render render)
    {
        if (suspended_) {
            raise(counters.suspended);
            return;
        }
        openfile* file = open_log_file(files_, key);
        if (file && run_.is_for_other(*file))
            run_.write();
        if (file) {
            const limitrecord limit = settings_.limit(key->id);
            if (reached(*file, limit)) {
                run_.write();
                rotate_log_files(files_, key, limit.files);
                raise(counters.rotations);
                file = open_log_file(files_, key);
            }
        }
        if (!file) {
            raise(counters.nofile);
            return;
        }
        run_.add(*file, counters, render);
        if (run_.units() > max_run_units)
            run_.write();
    }

    // Checked before the record, so a file may pass its limit by one line, and a file found
    // over the limit when opened is rotated by its first record. A size that cannot be read
    // lets the record through unchecked.
    bool reached(const openfile& file, const limitrecord& limit) const noexcept
    {
        if (limit.size_kib == 0 || limit.files == 0)
            return false;
        const std::optional<std::uint64_t> size = run_.size_after(file);
        return size && *size >= std::uint64_t{limit.size_kib} * 1024;
    }

    // The event stays the sender's; it is set once every earlier message has been handled
    // and every file is closed.
    void suspend(HANDLE event) noexcept
    {
        suspended_ = event != nullptr;
        if (event) {
            close_all_files(files_);
            ::SetEvent(event);
        }
    }

    logsettings& settings_;
    filetable files_;
    linerun run_;  // empty between messages; kept for its buffers
    bool suspended_ = false;
};

} // namespace

DWORD run_writer_loop(logsettings& settings, HANDLE start_event)
{
    MSG message;
    ::PeekMessageW(&message, nullptr, WM_LOGRECORD, WM_LOGRECORD, PM_NOREMOVE);
    ::SetEvent(start_event);
    writer state(settings);
    for (;;) {
        switch (::GetMessageW(&message, nullptr, 0, 0)) {
        case 0:
            return 0;
        case -1:
            return 0xFFFFFFFF;
        default:
            state.handle(message);
        }
    }
}

} // namespace kvt
