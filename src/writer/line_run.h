#pragma once
// The lines rendered for one file and not written yet: consecutive records of a batch that
// go to the same file are written with one WriteFile. The writer ends a run wherever one
// record would have been written alone before the next step: before a rotation, before
// another file, at the end of a batch. File contents and rotation points are therefore the
// same as with one WriteFile per record.
//
// Owned and used by the writer thread only.

#include "writer/counters.h"
#include "writer/log_files.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvt {

class linerun {
public:
    // True when the run holds lines for another file than this one.
    bool is_for_other(const openfile& file) const noexcept { return file_ && file_ != &file; }

    // The file's size once the run is written: where a rotation check must look.
    std::optional<std::uint64_t> size_after(const openfile& file) const noexcept;

    // Has render append a record's line at the end of the run for file; the first line of a
    // run fixes its file and counters. A NUL inside the line ends it there. Throws what render
    // throws, with the run as it was.
    template <class Render>
    void add(openfile& file, sourcecounters& counters, Render render)
    {
        file_ = &file;
        counters_ = &counters;
        const std::size_t start = text_.size();
        try {
            render(text_);
        } catch (...) {
            text_.resize(start);
            throw;
        }
        end_line(start);
    }

    std::size_t units() const noexcept { return text_.size(); }

    // The line that add appended last; empty in an empty run.
    std::wstring_view last_line() const noexcept
    {
        const std::size_t start = ends_.size() < 2 ? 0 : ends_[ends_.size() - 2];
        return std::wstring_view(text_).substr(start, ends_.empty() ? 0 : ends_.back() - start);
    }

    // Writes the run with one WriteFile and counts its records written, or dropped for
    // want of a file where the write fell short; the run is then empty.
    void write() noexcept;

private:
    void end_line(std::size_t start) noexcept;

    openfile* file_ = nullptr;
    sourcecounters* counters_ = nullptr;
    std::wstring text_;
    std::vector<std::size_t> ends_;  // where each line ends in text_, in code units
};

} // namespace kvt
