#include "writer/writer_thread.h"

#include "writer/writer_loop.h"

#include <process.h>

#include <span>

namespace kvt {

namespace {

constexpr int post_tries = 50;
constexpr DWORD post_pause_ms = 100;
// How long a failed start-up waits for the thread to end after WM_QUIT.
constexpr DWORD failed_start_wait_ms = 5000;

// A local of the constructor; the thread copies it before it sets the event, and never
// looks at it again.
struct startblock {
    HANDLE start_event;
    logsettings* settings;
    forwardqueue* forward;
};

unsigned __stdcall writer_entry(void* argument)
{
    const startblock start = *static_cast<const startblock*>(argument);
    try {
        return run_writer_loop(*start.settings, start.start_event, start.forward);
    } catch (...) {
        return 0xFFFFFFFF;
    }
}

} // namespace

postcalls post_calls = {::PostThreadMessageW, ::Sleep};

bool post_to_writer(DWORD thread_id, UINT message, WPARAM wparam, LPARAM lparam) noexcept
{
    for (int i = 0; i < post_tries; ++i) {
        if (post_calls.post(thread_id, message, wparam, lparam))
            return true;
        post_calls.pause(post_pause_ms);
    }
    return false;
}

namespace {

// Counts every record of the payload committed, or refused, by runs of one id's counters.
template <class Record>
void count_each(std::span<const Record> records, std::atomic<std::uint64_t> sourcecounters::*counter) noexcept
{
    for (std::size_t i = 0; i < records.size();) {
        std::size_t n = 1;
        while (i + n < records.size() && records[i + n].counters == records[i].counters)
            ++n;
        (records[i].counters->*counter).fetch_add(n);
        i += n;
    }
}

// Counts the records committed, posts the payload and lets it go; a payload the writer
// does not take is destroyed here, its records counted refused.
template <class Payload, class Record>
void commit_payload(const writerthread& writer, UINT message, std::unique_ptr<Payload> payload,
                    std::span<const Record> records) noexcept
{
    count_each(records, &sourcecounters::committed);
    if (writer.post(message, reinterpret_cast<WPARAM>(payload.get()), 0))
        static_cast<void>(payload.release());
    else
        count_each(records, &sourcecounters::refused);
}

} // namespace

void writerthread::commit(std::unique_ptr<postedrecord> posted) const noexcept
{
    const std::span<const postedrecord> records(posted.get(), 1);
    commit_payload(*this, WM_LOGRECORD, std::move(posted), records);
}

void writerthread::commit(std::unique_ptr<recordbatch> batch) const noexcept
{
    const std::span<const batchrecord> records = batch->records();
    commit_payload(*this, WM_LOGBATCH, std::move(batch), records);
}

writerthread::writerthread(logsettings& settings, forwardqueue* forward)
{
    const uniquehandle start_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!start_event)
        throw ::GetLastError();
    startblock start{start_event.get(), &settings, forward};
    unsigned thread_id = 0;
    handle_.reset(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, writer_entry, &start, 0, &thread_id)));
    if (!handle_)
        throw ::GetLastError();
    id_ = thread_id;

    // The start block lives on this stack: leave only once the thread has read it, or has
    // ended, or is told to end.
    const HANDLE started[2] = {start_event.get(), handle_.get()};
    switch (::WaitForMultipleObjects(2, started, FALSE, INFINITE)) {
    case WAIT_OBJECT_0:
        return;
    case WAIT_OBJECT_0 + 1:
        throw DWORD{0};
    default: {
        const DWORD code = ::GetLastError();
        post(WM_QUIT, 0, 0);
        ::WaitForSingleObject(handle_.get(), failed_start_wait_ms);
        throw code;
    }
    }
}

// Messages are handled first in, first out, WM_QUIT included, so every record posted before
// it is written before the thread ends.
writerthread::~writerthread()
{
    if (!handle_)
        return;
    if (post(WM_QUIT, 0, 0))
        ::WaitForSingleObject(handle_.get(), INFINITE);
    else
        ::TerminateThread(handle_.get(), 0);
}

} // namespace kvt
