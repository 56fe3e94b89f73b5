#include "writer/line_run.h"

#include <algorithm>

namespace kvt {

std::optional<std::uint64_t> linerun::size_after(const openfile& file) const noexcept
{
    const std::optional<std::uint64_t> size = file_position(file);
    if (!size || file_ != &file)
        return size;
    return *size + text_.size() * sizeof(wchar_t);
}

void linerun::end_line(std::size_t start) noexcept
{
    text_.resize(static_cast<std::size_t>(
        std::find(text_.begin() + static_cast<std::ptrdiff_t>(start), text_.end(), L'\0') - text_.begin()));
    ends_.push_back(text_.size());
}

void linerun::write() noexcept
{
    if (!file_)
        return;
    const DWORD written =
        text_.empty() ? 0 : append_to_file(*file_, text_.data(), static_cast<DWORD>(text_.size() * sizeof(wchar_t)));
    const std::size_t lines_written =
        static_cast<std::size_t>(std::upper_bound(ends_.begin(), ends_.end(), written / sizeof(wchar_t)) - ends_.begin());
    raise(counters_->written, lines_written);
    raise(counters_->bytes, written);
    raise(counters_->nofile, ends_.size() - lines_written);
    file_ = nullptr;
    counters_ = nullptr;
    text_.clear();
    ends_.clear();
}

} // namespace kvt
