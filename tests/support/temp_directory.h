#pragma once
// A fresh directory under %TEMP% for one test, removed with everything in it afterwards.

#include <string>
#include <vector>

namespace kvt::test {

class tempdirectory {
public:
    tempdirectory();
    ~tempdirectory();
    tempdirectory(const tempdirectory&) = delete;
    tempdirectory& operator=(const tempdirectory&) = delete;

    // The directory's path, without a trailing backslash.
    const std::wstring& path() const noexcept { return path_; }

private:
    std::wstring path_;
};

// The whole content of a file, or an empty vector when it cannot be read. The file may be
// open for writing in another thread or process.
std::vector<unsigned char> read_file_bytes(const std::wstring& path);
std::string read_file_text(const std::wstring& path);  // the same bytes as a string

// The lines of a UTF-16LE log file: the byte-order mark checked and dropped, the text split
// after each CR LF (the CR LF is kept off the lines). A final line without CR LF is kept.
std::vector<std::wstring> read_log_lines(const std::wstring& path);

bool file_exists(const std::wstring& path);

} // namespace kvt::test
