#pragma once
// Cuts the UTF-16LE bytes of one log file, in pieces as they are read, into lines. The
// byte-order mark at the start of the file is dropped; a line ends at LF, and the CR before
// it is dropped too. Text after the last line end waits for more bytes: the server may be
// in the middle of writing it. Owned by one reader, on one thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kvt::ctl {

using line_callback = std::function<void(std::wstring_view line)>;

class linesplitter {
public:
    // The next bytes of the file; every line they complete goes to `to`.
    void feed(const unsigned char* bytes, std::size_t size, const line_callback& to);

    // The file ends here: text after the last line end goes out as a last line.
    void finish(const line_callback& to);

private:
    std::wstring pending_;          // the line not ended yet
    std::uint64_t units_ = 0;       // code units seen since the start of the file
    int odd_byte_ = -1;             // low byte of a code unit whose high byte is still to come
};

} // namespace kvt::ctl
