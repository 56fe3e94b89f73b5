#include "kvtlogctl/followed_file.h"

#include "kvtlogctl/failure.h"

#include <cwchar>
#include <optional>

namespace kvt::ctl {

namespace {

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

uniquehandle open_shared(const std::wstring& path, DWORD access)
{
    return uniquehandle(::CreateFileW(path.c_str(), access, share_all, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Reads from the file's position to its end.
void read_to_end(HANDLE file, const std::wstring& path, linesplitter& splitter, const line_callback& to)
{
    unsigned char buffer[16384];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &n, nullptr))
            throw_last_error(L"ReadFile(" + path + L")");
        if (n == 0)
            return;
        splitter.feed(buffer, n, to);
    }
}

// Every line of a whole file, the partial last line included.
void read_lines(const std::wstring& path, const line_callback& to)
{
    const uniquehandle file = open_shared(path, GENERIC_READ);
    if (!file)
        throw_last_error(L"CreateFileW(" + path + L")");
    linesplitter splitter;
    read_to_end(file.get(), path, splitter, to);
    splitter.finish(to);
}

bool same_file(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION x, y;
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

bool names(const std::wstring& path, HANDLE file)
{
    const uniquehandle named = open_shared(path, FILE_READ_ATTRIBUTES);
    return named && same_file(named.get(), file);
}

// Where the file held is among the older files: after a rotation it is one of them.
std::optional<std::size_t> index_of(const std::vector<std::wstring>& older, HANDLE held)
{
    for (std::size_t i = 0; i < older.size(); ++i)
        if (names(older[i], held))
            return i;
    return std::nullopt;
}

bool delete_pending(HANDLE file)
{
    FILE_STANDARD_INFO info{};
    return ::GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) && info.DeletePending;
}

bool ends_with_txt(const std::wstring& path)
{
    return path.size() >= 4 && ::_wcsicmp(path.c_str() + path.size() - 4, L".TXT") == 0;
}

} // namespace

std::vector<std::wstring> older_files(const std::wstring& current)
{
    std::vector<std::wstring> older;
    if (!ends_with_txt(current))
        return older;
    const std::wstring stem = current.substr(0, current.size() - 4);
    for (int n = 1; n <= 255; ++n) {
        std::wstring path = stem + L"-" + std::to_wstring(n) + L".TXT";
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            break;
        older.insert(older.begin(), std::move(path));
    }
    return older;
}

bool followedfile::open(bool must_exist)
{
    file_ = open_shared(path_, GENERIC_READ);
    const DWORD error = ::GetLastError();
    if (!file_ && (must_exist || (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)))
        throw_last_error(L"CreateFileW(" + path_ + L")");
    return static_cast<bool>(file_);
}

// The name stands for another file than the one held, or the one held is being deleted
// (it goes only once every handle is closed, and the server cannot start a new one before).
bool followedfile::replaced() const
{
    if (delete_pending(file_.get()))
        return true;
    const uniquehandle now = open_shared(path_, FILE_READ_ATTRIBUTES);
    return now && !same_file(now.get(), file_.get());
}

bool followedfile::start(const line_callback& to, bool must_exist)
{
    const bool found = open(must_exist);
    const std::vector<std::wstring> older = older_files(path_);
    // Should the server have rotated since the open, the file held is older already.
    const auto held = found ? index_of(older, file_.get()) : std::nullopt;
    for (std::size_t i = 0; i < held.value_or(older.size()); ++i)
        read_lines(older[i], to);
    if (found)
        read_to_end(file_.get(), path_, splitter_, to);
    return found;
}

void followedfile::read(const line_callback& to)
{
    if (!file_) {
        if (open(false))
            read_to_end(file_.get(), path_, splitter_, to);
        return;
    }
    read_to_end(file_.get(), path_, splitter_, to);
    if (!replaced())
        return;
    // Whatever the server wrote to the old file before it let go of it.
    read_to_end(file_.get(), path_, splitter_, to);
    splitter_.finish(to);
    // The files rotated out since: newer than the one held, older than the current one.
    // When the one held is gone, every older file is newer than it.
    const std::vector<std::wstring> older = older_files(path_);
    const auto held = index_of(older, file_.get());
    file_.reset();
    for (std::size_t i = held ? *held + 1 : 0; i < older.size(); ++i)
        read_lines(older[i], to);
    if (open(false))
        read_to_end(file_.get(), path_, splitter_, to);
}

} // namespace kvt::ctl
