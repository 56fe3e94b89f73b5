#include "writer/writer_loop.h"

#include "writer/line_format.h"
#include "writer/log_files.h"
#include "writer/writer_thread.h"

#include <cstdint>
#include <cwchar>
#include <memory>

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
                write(*posted);
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
    // While suspended, and when the source has no file, the record is dropped unwritten.
    void write(const postedrecord& posted)
    {
        if (suspended_ || !posted.record)
            return;
        openfile* file = open_log_file(files_, posted.key);
        if (!file)
            return;
        const limitrecord limit = settings_.limit(posted.key->id);
        // Checked before the write, so a file may pass its limit by one line, and a file
        // found over the limit when opened is rotated by its first record.
        if (limit.size_kib != 0 && limit.files != 0 && reached(*file, limit.size_kib)) {
            rotate_log_files(files_, posted.key, limit.files);
            file = open_log_file(files_, posted.key);
            if (!file)
                return;
        }
        const countedwstring line = format_line(*posted.record);
        // A NUL inside an argument's text ends the line there.
        const std::size_t units = std::wcslen(line.data());
        if (units > 0)
            append_to_file(*file, line.data(), static_cast<DWORD>(units * sizeof(wchar_t)));
    }

    // A position that cannot be read lets the record through unchecked.
    static bool reached(const openfile& file, std::uint32_t size_kib) noexcept
    {
        const std::optional<std::uint64_t> position = file_position(file);
        return position && *position >= std::uint64_t{size_kib} * 1024;
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
