#pragma once
// A source's log files read while the server writes them. The current file is followed by
// name, as `tail -F` does, and held open with read, write and delete sharing, so that the
// server can go on writing it, rename it when it rotates and delete it. When the name has
// come to stand for another file, the old file is read to its end, its partial last line is
// ended, the files the server rotated out in the meantime are read, and reading goes on with
// the new current file from its beginning; so no line is missed however many rotations
// happened between two reads, as long as the files are still kept.
// Owned by one viewer, on one thread.

#include "kvtlogctl/line_splitter.h"
#include "win/unique_resource.h"

#include <string>
#include <vector>

namespace kvt::ctl {

// The older files of a source's current file "<stem>.TXT", oldest first: "<stem>-n.TXT"
// down to "<stem>-1.TXT", as far as they exist without a gap.
std::vector<std::wstring> older_files(const std::wstring& current);

class followedfile {
public:
    explicit followedfile(std::wstring current) : path_(std::move(current)) {}

    // Opens the current file, then hands every line of the older files and the complete
    // lines of the current one to `to`. False when the current file does not exist (yet);
    // the older files have been read then. Throws failure for other errors, and when the
    // current file must exist but does not.
    bool start(const line_callback& to, bool must_exist);

    // Hands every line completed since the last call to `to`.
    void read(const line_callback& to);

    // Ends the partial last line of the current file, when there is one.
    void finish(const line_callback& to) { splitter_.finish(to); }

private:
    bool open(bool must_exist);
    bool replaced() const;

    std::wstring path_;
    uniquehandle file_;
    linesplitter splitter_;
};

} // namespace kvt::ctl
