#include "kvtlogctl/tail.h"

#include "kvtlogctl/followed_file.h"

#include <deque>
#include <vector>

namespace kvt::ctl {

namespace {

// Passes on the lines the filter shows. Until start_printing it keeps only the last log
// lines asked for, each with the lines that continue it; from then on it prints each line.
class printer {
public:
    printer(const tailoptions& options, const print_callback& print)
        : filter_(options.filter), keep_(options.lines), print_(print), printing_(!keep_)
    {
    }

    void line(std::wstring_view text)
    {
        const linefilter::verdict verdict = filter_.classify(text);
        if (verdict == linefilter::verdict::hidden || gone_)
            return;
        if (printing_) {
            gone_ = !print_(text);
            return;
        }
        if (verdict == linefilter::verdict::first_line) {
            kept_.emplace_back();
            if (kept_.size() > *keep_)
                kept_.pop_front();
        }
        if (!kept_.empty())
            kept_.back().emplace_back(text);
    }

    void start_printing()
    {
        for (const auto& record : kept_)
            for (const auto& text : record)
                if (!gone_)
                    gone_ = !print_(text);
        kept_.clear();
        printing_ = true;
    }

    bool gone() const noexcept { return gone_; }

private:
    linefilter filter_;
    std::optional<std::size_t> keep_;
    const print_callback& print_;
    bool printing_;
    bool gone_ = false;
    std::deque<std::vector<std::wstring>> kept_;
};

} // namespace

void tail(const tailoptions& options, const print_callback& print)
{
    printer out(options, print);
    const line_callback to = [&out](std::wstring_view text) { out.line(text); };
    followedfile files(options.path);
    files.start(to, !options.follow);
    if (!options.follow)
        files.finish(to);
    out.start_printing();
    if (!options.follow)
        return;
    while (!out.gone() && ::WaitForSingleObject(options.stop, options.interval_ms) == WAIT_TIMEOUT)
        files.read(to);
}

} // namespace kvt::ctl
