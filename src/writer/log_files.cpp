#include "writer/log_files.h"

#include <algorithm>

namespace kvt {

namespace {

// An existing directory counts as created.
bool create_directory(const std::wstring& path) noexcept
{
    return ::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

// The source id's directory, without a closing backslash.
std::wstring id_directory(const std::wstring& root, std::uint32_t id)
{
    return root + L'\\' + source_id_text(id);
}

// Opens a file for appending, or creates it with the byte-order mark. Other programs may
// read it meanwhile, but not write, rename or delete it.
openfile open_for_append(const std::wstring& path) noexcept
{
    openfile file{uniquehandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr)),
                  std::uint64_t{0}};
    if (!file)
        return file;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        LARGE_INTEGER end{};
        if (::SetFilePointerEx(file.handle.get(), LARGE_INTEGER{}, &end, FILE_END))
            file.size = static_cast<std::uint64_t>(end.QuadPart);
        else
            file.size.reset();
    } else {
        static const BYTE byte_order_mark[2] = {0xFF, 0xFE};
        append_to_file(file, byte_order_mark, sizeof byte_order_mark);
    }
    return file;
}

// Creates the log directory and the id's directory, then opens the source's current file.
// Empty when a step fails. Throws what log_path throws, and std::bad_alloc.
openfile open_current_file(logsettings& settings, const sourcekey& key)
{
    const pathref log_path = settings.log_path();
    if (!log_path)
        return {};
    const std::wstring root = log_root(log_path.get());
    // Only these two levels are made; the parents of the log directory must exist.
    if (log_path.get()[0] != L'\0' && !create_directory(root))
        return {};
    const std::wstring directory = id_directory(root, key.id);
    if (!create_directory(directory))
        return {};
    const auto name = log_file_name(key, 0);
    if (!name)
        return {};
    return open_for_append(directory + L'\\' + *name);
}

// Probes with no access rights, which no other handle's sharing mode can refuse.
bool file_exists(const std::wstring& path) noexcept
{
    return static_cast<bool>(uniquehandle(
        ::CreateFileW(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

// Moves file number i of the set to i + 1 after making room there by shifting the files
// above it, and deletes the file numbered last. The shift stops at the first missing number,
// so only the files below a gap move and nothing is deleted then. A step that fails leaves
// every file below it in place.
bool shift(const std::wstring& directory, const sourcekey& key, unsigned i, unsigned last)
{
    const auto name = log_file_name(key, i);
    if (!name)
        return false;
    const std::wstring path = directory + *name;
    // A numbered name that is too long ends the set as the last number does: names only grow
    // with the number, so no older file can exist beyond it. The file at i is then deleted
    // rather than kept, which holds the size limit and spares the writer a failed rotation
    // before every further record.
    const auto next_name = i < last ? log_file_name(key, i + 1) : std::nullopt;
    if (!next_name)
        return ::DeleteFileW(path.c_str()) != FALSE;
    const std::wstring next = directory + *next_name;
    if (file_exists(next) && !shift(directory, key, i + 1, last))
        return false;
    return ::MoveFileW(path.c_str(), next.c_str()) != FALSE;
}

} // namespace

std::wstring log_root(std::wstring_view log_path)
{
    std::wstring root(log_path);
    std::replace(root.begin(), root.end(), L'/', L'\\');
    const std::size_t last = root.find_last_not_of(L'\\');
    if (last != std::wstring::npos)
        root.erase(last + 1);
    return root;
}

std::wstring log_directory(std::wstring_view log_path, std::uint32_t id)
{
    return id_directory(log_root(log_path), id) + L'\\';
}

std::optional<std::wstring> log_file_name(const sourcekey& key, unsigned number)
{
    std::wstring name = key.name;
    for (int i = 0; i < 4; ++i) {
        name += i == 0 ? L'-' : L'.';
        name += std::to_wstring(static_cast<std::int32_t>(key.version[i]));
    }
    if (number > 0)
        name += L'-' + std::to_wstring(number);
    name += L".TXT";
    if (name.size() > max_log_file_name)
        return std::nullopt;
    return name;
}

openfile* open_log_file(filetable& files, const sourcekeyref& key) noexcept
{
    try {
        openfile& file = files.entries.try_emplace(key).first->second;
        if (!file)
            file = open_current_file(files.settings, *key);
        return file ? &file : nullptr;
    } catch (...) {
        // An unreadable log directory or a lack of memory: this record finds no file, and
        // the source's next record tries again.
        return nullptr;
    }
}

std::optional<std::uint64_t> file_position(const openfile& file) noexcept
{
    if (file.size)
        return file.size;
    LARGE_INTEGER position{};
    if (!::SetFilePointerEx(file.handle.get(), LARGE_INTEGER{}, &position, FILE_CURRENT))
        return std::nullopt;
    return static_cast<std::uint64_t>(position.QuadPart);
}

DWORD append_to_file(openfile& file, const void* data, DWORD bytes) noexcept
{
    DWORD written = 0;
    if (!::WriteFile(file.handle.get(), data, bytes, &written, nullptr))
        written = 0;
    if (file.size)
        *file.size += written;
    return written;
}

void rotate_log_files(filetable& files, const sourcekeyref& key, unsigned files_kept) noexcept
{
    const auto entry = files.entries.find(key);
    if (entry == files.entries.end())
        return;
    files.entries.erase(entry);
    try {
        const pathref log_path = files.settings.log_path();
        if (log_path)
            shift(log_directory(log_path.get(), key->id), *key, 0, files_kept - 1);
    } catch (...) {
        // Nothing has moved; the current file is reopened and the next record tries again.
    }
}

void close_log_file(filetable& files, const sourcekeyref& key) noexcept
{
    files.entries.erase(key);
}

void close_id_files(filetable& files, std::uint32_t id) noexcept
{
    std::erase_if(files.entries, [id](const auto& entry) { return entry.first->id == id; });
}

void close_all_files(filetable& files) noexcept
{
    files.entries.clear();
}

} // namespace kvt
