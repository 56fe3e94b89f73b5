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
    writer(logsettings& settings, forwardqueue* forward) noexcept
        : settings_(settings), files_(settings), forward_(forward)
    {
    }

    // Takes ownership of the message's payload, which is destroyed on every path.
    void handle(const MSG& message)
    {
        switch (message.message) {
        case WM_LOGRECORD:
            if (const std::unique_ptr<postedrecord> posted{reinterpret_cast<postedrecord*>(message.wParam)})
                write(
                    std::span<const postedrecord>(posted.get(), 1),
                    [](const postedrecord& p, std::wstring& out) { append_line(*p.record, out); },
                    [](const postedrecord& p) {
                        const logrecord& r = *p.record;
                        return lineheader{r.level, r.time, r.firstid, r.secondid, r.file.get(), r.line, r.function.get()};
                    });
            break;
        case WM_LOGBATCH:
            if (const std::unique_ptr<recordbatch> batch{reinterpret_cast<recordbatch*>(message.wParam)})
                write(
                    batch->records(), [&batch](const batchrecord& r, std::wstring& out) { batch->render(r, out); },
                    [&batch](const batchrecord& r) { return batch->header(r); });
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
    template <class Record, class Render, class Header>
    void write(std::span<const Record> records, Render render, Header header)
    {
        try {
            for (const Record& record : records)
                add(record.key, *record.counters, header(record), [&](std::wstring& out) { render(record, out); });
        } catch (...) {
            run_.write();
            throw;
        }
        run_.write();
    }

    // While suspended, and when the source has no file, the record is dropped unwritten.
    template <class Render>
    void add(const sourcekeyref& key, sourcecounters& counters, const lineheader& header, Render render)
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
        offer(key, counters, header, run_.last_line());
        if (run_.units() > max_run_units)
            run_.write();
    }

    // Hands a copy of the record's line just added to the forwarding queue, when its level
    // is forwarded; a full queue, or no memory for the copy, drops it from forwarding only.
    void offer(const sourcekeyref& key, sourcecounters& counters, const lineheader& header,
               std::wstring_view line) noexcept
    {
        if (!forward_ || !(forward_->levels() & header.level))
            return;
        try {
            auto record = std::make_unique<forwardrecord>(forwardrecord{
                key, &counters, header.level, header.time, header.firstid, header.secondid,
                header.file ? std::optional<std::wstring>(header.file) : std::nullopt, header.line,
                header.function ? std::optional<std::wstring>(header.function) : std::nullopt,
                std::wstring(line), header.process_id});
            if (forward_->push(record))
                return;
        } catch (const std::bad_alloc&) {
        }
        raise(counters.forwardfull);
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
    forwardqueue* forward_;  // null: nothing is forwarded
    linerun run_;  // empty between messages; kept for its buffers
    bool suspended_ = false;
};

} // namespace

DWORD run_writer_loop(logsettings& settings, HANDLE start_event, forwardqueue* forward)
{
    MSG message;
    ::PeekMessageW(&message, nullptr, WM_LOGRECORD, WM_LOGRECORD, PM_NOREMOVE);
    ::SetEvent(start_event);
    writer state(settings, forward);
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
