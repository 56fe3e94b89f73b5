#pragma once
// The writer thread: the one thread that opens, writes, rotates and closes log files.
// Every other thread reaches it only by posting thread messages (post_to_writer); a
// message's payload is a heap block whose ownership passes with a successful post.

#include "core/logrecord.h"
#include "core/sourcekey.h"
#include "settings/log_settings.h"
#include "writer/counters.h"
#include "writer/forward_queue.h"
#include "writer/record_batch.h"
#include "win/unique_resource.h"

#include <windows.h>

#include <memory>

namespace kvt {

// Thread messages of the writer. wParam and lParam as noted; none names a window.
inline constexpr UINT WM_LOGRECORD = WM_APP;           // wParam: postedrecord* or 0
inline constexpr UINT WM_LOGCLOSESOURCE = WM_APP + 1;  // wParam: closerequest* or 0 for all files
inline constexpr UINT WM_LOGCLOSEID = WM_APP + 2;      // lParam: source id
inline constexpr UINT WM_LOGSUSPEND = WM_APP + 3;      // wParam: event to set once suspended, or 0 to resume
inline constexpr UINT WM_LOGBATCH = WM_APP + 4;        // wParam: recordbatch* or 0; its records are
                                                       // handled in order, each as if it came alone

// A committed record on its way to the writer: the record, its source's key and the
// counters of the source's id, which outlive the writer.
struct postedrecord {
    sourcekeyref key;
    std::unique_ptr<logrecord> record;
    sourcecounters* counters;
};

// Payload of WM_LOGCLOSESOURCE naming one source.
struct closerequest {
    sourcekeyref key;
};

// The two calls post_to_writer makes: the post, and the pause after a refused one. They are
// ::PostThreadMessageW and ::Sleep unless a test has put others in their place to see a queue
// that refuses. Changed only while no thread posts, so nothing guards them.
struct postcalls {
    BOOL(WINAPI* post)(DWORD thread_id, UINT message, WPARAM wparam, LPARAM lparam);
    void(WINAPI* pause)(DWORD milliseconds);
};
extern postcalls post_calls;

// Posts at most 50 times, pausing 100 ms after every refused try. False when every try was
// refused: the payload is then still the sender's, which frees it.
bool post_to_writer(DWORD thread_id, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

// Starts the thread on construction and returns once its queue exists; stops it on
// destruction after every message posted before has been handled. Construction throws the
// Win32 code (DWORD) when the thread cannot be started or ends before it is ready. With a
// forwarding queue, which must outlive the thread, every record written is offered to it.
class writerthread {
public:
    explicit writerthread(logsettings& settings, forwardqueue* forward = nullptr);
    ~writerthread();
    writerthread(const writerthread&) = delete;
    writerthread& operator=(const writerthread&) = delete;

    DWORD id() const noexcept { return id_; }
    bool running() const noexcept { return static_cast<bool>(handle_); }
    bool post(UINT message, WPARAM wparam, LPARAM lparam) const noexcept
    {
        return post_to_writer(id_, message, wparam, lparam);
    }
    // Posts a payload as the message's wParam. A successful post hands it to the thread,
    // which destroys it once handled; after a failed one it is destroyed here.
    template <class Payload>
    bool post(UINT message, std::unique_ptr<Payload> payload) const noexcept
    {
        if (!post(message, reinterpret_cast<WPARAM>(payload.get()), 0))
            return false;
        static_cast<void>(payload.release());
        return true;
    }

    // Commits the record, or every record of the batch: counts it committed under its id and
    // hands it to the writer. What cannot be posted is destroyed and counted refused.
    void commit(std::unique_ptr<postedrecord> posted) const noexcept;
    void commit(std::unique_ptr<recordbatch> batch) const noexcept;

private:
    DWORD id_ = 0;
    uniquehandle handle_;
};

} // namespace kvt
