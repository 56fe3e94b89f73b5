#pragma once
// Where each source's log files lie, how they are named, and the writer thread's table of
// open files, with the operations that open, rotate and close them.
//
// A source writes to <log directory>\<source id text>\<name>-a.b.c.d.TXT, its current file;
// older files carry the numbers 1 to files - 1 before ".TXT", a higher number being older.
// Every file this code creates starts with the UTF-16LE byte-order mark FF FE.

#include "core/sourcekey.h"
#include "settings/log_settings.h"
#include "win/unique_resource.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kvt {

// Longest file name (without directory) that a source's files may have.
inline constexpr std::size_t max_log_file_name = 256;

// log_path with every slash turned into a backslash and trailing backslashes removed; a
// path of nothing but backslashes stays as it is.
std::wstring log_root(std::wstring_view log_path);

// The directory of a source id's files, with a closing backslash:
// log_root(log_path) \ source_id_text(id) \ .
std::wstring log_directory(std::wstring_view log_path, std::uint32_t id);

// "name-a.b.c.d.TXT" for number 0, "name-a.b.c.d-n.TXT" otherwise, the versions as signed
// decimals. No name when it would be longer than max_log_file_name.
std::optional<std::wstring> log_file_name(const sourcekey& key, unsigned number);

// A source's current file and its size in bytes, which is where the next line goes. Only
// the writer writes the file (no other handle may), so the size read once at the open and
// raised by every append stays the file's position: no record needs a position query.
struct openfile {
    uniquehandle handle;
    std::optional<std::uint64_t> size;  // empty when the open could not read the position

    explicit operator bool() const noexcept { return static_cast<bool>(handle); }
};

// The writer thread's open files: one entry per source that has had a record since its last
// close, holding its own key reference and the handle of the source's current file (empty
// while no file could be opened, so that the next record tries again). Owned and used by the
// writer thread only, hence no lock. Reads the log directory from the settings store at
// every open; destroying the table closes every file.
struct filetable {
    explicit filetable(logsettings& store) noexcept : settings(store) {}

    logsettings& settings;
    std::map<sourcekeyref, openfile, sourcekeyorder> entries;
};

// The source's current file, opened (directories created, byte-order mark written to a new
// file, positioned at the end of an existing one) when the entry has none. Null when no file
// could be opened; the entry then stays, empty.
openfile* open_log_file(filetable& files, const sourcekeyref& key) noexcept;

// The file's position: its kept size, or asked of the system when the open could not read
// it. Empty when neither is known.
std::optional<std::uint64_t> file_position(const openfile& file) noexcept;

// One WriteFile of the bytes; the size grows by what was written, which is returned.
DWORD append_to_file(openfile& file, const void* data, DWORD bytes) noexcept;

// Closes the source's current file and shifts its file set up by one number, keeping at
// most files (1 to 255) files. Does nothing for a source without an entry. A step that fails
// leaves the files below it in place; the caller reopens whatever file is current.
void rotate_log_files(filetable& files, const sourcekeyref& key, unsigned files_kept) noexcept;

// Closes the source's file and removes its entry, if it has one.
void close_log_file(filetable& files, const sourcekeyref& key) noexcept;

// Closes the files of every source with this source id and removes their entries.
void close_id_files(filetable& files, std::uint32_t id) noexcept;

// Closes every file and empties the table.
void close_all_files(filetable& files) noexcept;

} // namespace kvt
