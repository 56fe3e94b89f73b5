#include "forward/forwarder.h"

#include "writer/line_format.h"

#include <process.h>

#include <algorithm>
#include <utility>

namespace kvt {

namespace {

// Most bytes of frames sent with one send_all.
constexpr std::size_t max_send_bytes = 64 * 1024;
// How long the forwarder, having found the queue empty, looks again later before it asks the
// writer to wake it: records that come meanwhile cost the writer no system call.
constexpr DWORD linger_ms = 10;

void count_lost(const forwardrecords& records, std::size_t from) noexcept
{
    for (std::size_t i = from; i < records.size(); ++i)
        raise(records[i]->counters->forwardlost);
}

// The forwarder thread's own state, touched by it alone.
class session {
public:
    session(forwardqueue& queue, const std::wstring& host_name, const forwardtiming& timing)
        : queue_(queue), host_name_(host_name), timing_(timing)
    {
        pending_.reserve(queue.capacity());
    }

    // What was never sent, the queue's records included, is counted lost.
    ~session()
    {
        drop();
        take();
        drop();
    }

    // Forgets the connection and every record taken, and aims at the target from now on.
    void retarget(const forwardtarget& target) noexcept
    {
        socket_.reset();
        drop();
        target_ = target;
        retry_ms_ = 0;
        next_try_ = 0;
    }

    // One step: connects, or takes records, or sends some. Returns how long to wait before
    // the next step unless an event comes first, and whether the queue's event counts.
    DWORD step(bool& wait_for_records, const HANDLE* cancel, DWORD cancel_count, forwardstate& state)
    {
        wait_for_records = false;
        if (!target_.on())
            return INFINITE;  // records queued meanwhile wait for the next target
        if (!socket_) {
            const ULONGLONG now = ::GetTickCount64();
            if (now < next_try_)
                return static_cast<DWORD>(next_try_ - now);
            try {
                socket_ = connect_tcp(target_.host, target_.port, timing_.connect_timeout_ms, cancel, cancel_count);
            } catch (DWORD code) {
                failed(code, state);
                return 0;
            }
            if (!socket_)
                return 0;  // cancelled
            retry_ms_ = 0;
            state.connected = true;
            state.retrying_since = {};
            return 0;
        }
        if (next_ == pending_.size()) {
            pending_.clear();
            take();
            if (!pending_.empty() || !lingering_) {
                lingering_ = pending_.empty();
                return lingering_ ? linger_ms : 0;
            }
            lingering_ = false;
            wait_for_records = queue_.sleep_if_empty();
            return wait_for_records ? INFINITE : 0;
        }
        if (DWORD error = 0; !is_connected(socket_.get(), error)) {
            // Closed by the collector: make it anew at once, losing nothing.
            socket_.reset();
            note(error, state);
            return 0;
        }
        send(cancel, cancel_count, state);
        return 0;
    }

private:
    void take() noexcept
    {
        if (pending_.empty())
            queue_.take_all(pending_);
        next_ = 0;
    }

    void drop() noexcept
    {
        count_lost(pending_, next_);
        pending_.clear();
        next_ = 0;
    }

    void send(const HANDLE* cancel, DWORD cancel_count, forwardstate& state)
    {
        frames_.clear();
        const std::size_t first = next_;
        std::size_t end = first;
        std::size_t whole = 0;  // the bytes of the frames made whole
        try {
            for (; end < pending_.size() && frames_.size() < max_send_bytes; ++end, whole = frames_.size()) {
                const forwardrecord& r = *pending_[end];
                const std::wstring procid = r.process_id ? std::to_wstring(r.process_id) : std::wstring();
                const syslogrecord record{*r.key, r.level, r.time, utc_offset_minutes(r.time),
                                          r.firstid, r.secondid, r.file ? r.file->c_str() : nullptr, r.line,
                                          r.function ? r.function->c_str() : nullptr, message_of(r)};
                append_syslog_frame(record, host_name_, target_.facility, procid, frames_);
            }
        } catch (const std::bad_alloc&) {
            // Sends the whole frames; a record that alone does not fit is lost.
            frames_.resize(whole);
            if (end == first) {
                raise(pending_[next_++]->counters->forwardlost);
                return;
            }
        }
        next_ = end;
        DWORD error = 0;
        bool sent = false;
        try {
            sent = send_all(socket_.get(), frames_, timing_.send_timeout_ms, cancel, cancel_count);
        } catch (DWORD code) {
            error = code;
        }
        for (std::size_t i = first; i < end; ++i)
            raise(sent ? pending_[i]->counters->forwarded : pending_[i]->counters->forwardlost);
        if (sent)
            return;
        // A frame may have gone in part: the connection cannot carry another. A send cut short
        // by a change of target or the end is no failure of the collector's.
        socket_.reset();
        if (error)
            failed(error, state);
    }

    // The connection failed or could not be made: the next try waits, longer each time.
    void failed(DWORD code, forwardstate& state) noexcept
    {
        note(code, state);
        retry_ms_ = retry_ms_ == 0 ? timing_.first_retry_ms : std::min(retry_ms_ * 2, timing_.max_retry_ms);
        next_try_ = ::GetTickCount64() + retry_ms_;
    }

    static void note(DWORD code, forwardstate& state) noexcept
    {
        if (state.connected || (state.retrying_since.dwLowDateTime == 0 && state.retrying_since.dwHighDateTime == 0))
            ::GetSystemTimeAsFileTime(&state.retrying_since);
        state.connected = false;
        state.last_error = code;
    }

    forwardqueue& queue_;
    const std::wstring& host_name_;
    const forwardtiming& timing_;
    forwardtarget target_;
    uniquesocket socket_;
    forwardrecords pending_;  // taken from the queue; those from next_ on are not sent yet
    std::size_t next_ = 0;
    std::string frames_;
    DWORD retry_ms_ = 0;
    ULONGLONG next_try_ = 0;
    bool lingering_ = false;  // the queue was found empty once; the next empty look sleeps
};

} // namespace

forwarder::forwarder(forwardqueue& queue, std::wstring host_name, forwardtiming timing)
    : queue_(queue), host_name_(std::move(host_name)), timing_(timing),
      stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), changed_(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (!stop_ || !changed_)
        throw ::GetLastError();
    thread_.reset(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, entry, this, 0, nullptr)));
    if (!thread_)
        throw ::GetLastError();
}

forwarder::~forwarder()
{
    queue_.set_levels(0);
    ::SetEvent(stop_.get());
    ::WaitForSingleObject(thread_.get(), INFINITE);
}

void forwarder::configure(const forwardtarget& target)
{
    {
        const sectionguard guard(lock_);
        target_ = target;
    }
    queue_.set_levels(target.on() ? target.levels : 0);
    ::SetEvent(changed_.get());
}

forwardtarget forwarder::target() const
{
    const sectionguard guard(lock_);
    return target_;
}

forwardstate forwarder::state() const
{
    const sectionguard guard(lock_);
    return state_;
}

unsigned __stdcall forwarder::entry(void* self) noexcept
{
    static_cast<forwarder*>(self)->run();
    return 0;
}

void forwarder::run() noexcept
{
    try {
        session s(queue_, host_name_, timing_);
        const HANDLE cancel[2] = {stop_.get(), changed_.get()};
        for (;;) {
            forwardstate state = this->state();
            bool wait_for_records = false;
            DWORD wait_ms = 0;
            try {
                wait_ms = s.step(wait_for_records, cancel, 2, state);
            } catch (const std::bad_alloc&) {
                wait_ms = timing_.max_retry_ms;  // memory may be found later
            }
            {
                const sectionguard guard(lock_);
                state_ = state;
            }
            const HANDLE events[3] = {stop_.get(), changed_.get(), queue_.ready_event()};
            const DWORD waited = ::WaitForMultipleObjects(wait_for_records ? 3 : 2, events, FALSE, wait_ms);
            if (waited == WAIT_OBJECT_0)
                return;
            if (waited == WAIT_OBJECT_0 + 1) {
                // Reset before the target is read, so that a change made meanwhile is seen.
                ::ResetEvent(changed_.get());
                const forwardtarget target = this->target();
                s.retarget(target);
                const sectionguard guard(lock_);
                state_ = {};
            }
        }
    } catch (...) {
        // No memory for the session or a target's copy: the thread ends, and forwarding with
        // it; the queue takes no more.
        queue_.set_levels(0);
    }
}

std::wstring computer_name()
{
    DWORD size = 0;
    ::GetComputerNameExW(ComputerNameDnsFullyQualified, nullptr, &size);
    std::wstring name(size, L'\0');
    if (!::GetComputerNameExW(ComputerNameDnsFullyQualified, name.data(), &size))
        return {};
    name.resize(size);
    return name;
}

int utc_offset_minutes(const SYSTEMTIME& local) noexcept
{
    SYSTEMTIME utc;
    FILETIME local_file, utc_file;
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !::SystemTimeToFileTime(&local, &local_file) ||
        !::SystemTimeToFileTime(&utc, &utc_file))
        return 0;
    const auto ticks = [](const FILETIME& f) {
        return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
    };
    return static_cast<int>((ticks(local_file) - ticks(utc_file)) / (60LL * 10000000));
}

std::wstring_view message_of(const forwardrecord& record)
{
    thread_local std::wstring header;
    header.clear();
    append_header({record.level, record.time, record.firstid, record.secondid,
                   record.file ? record.file->c_str() : nullptr, record.line,
                   record.function ? record.function->c_str() : nullptr},
                  header);
    std::wstring_view message = record.text;
    if (message.starts_with(header))
        message.remove_prefix(header.size());
    if (message.ends_with(L"\r\n"))
        message.remove_suffix(2);
    return message;
}

} // namespace kvt
