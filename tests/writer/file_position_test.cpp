#include "com/arguments.h"
#include "support/scratch_registry.h"
#include "support/temp_directory.h"
#include "writer/log_files.h"
#include "writer/writer_thread.h"

#include <gtest/gtest.h>

#include <string>

namespace kvt {
namespace {

// The writer keeps each open file's size instead of asking the system for the position
// before every record. These tests hold its answers against the bytes on disk.
class FilePosition : public ::testing::Test {
protected:
    test::scratch_registry registry;
    test::temp_directory logs;
    std::uint32_t version[4] = {1, 0, 0, 0};
    sourcekeyref key = make_sourcekey(3, version, L"Pos");
    std::wstring current = logs.path() + L"\\CA3\\Pos-1.0.0.0.TXT";

    FilePosition() { test::write_default_settings(logs.path()); }

    static std::uint64_t size_on_disk(const std::wstring& path) { return test::read_file_bytes(path).size(); }
};

TEST_F(FilePosition, KeptSizeIsTheFileSizeAfterOpenAndEveryAppend)
{
    logsettings settings;
    filetable files(settings);
    openfile* file = open_log_file(files, key);
    ASSERT_TRUE(file);
    EXPECT_EQ(file_position(*file), 2u);  // the byte-order mark
    append_to_file(*file, "abcdef", 6);
    EXPECT_EQ(file_position(*file), size_on_disk(current));
    close_all_files(files);

    file = open_log_file(files, key);  // an existing file: its end
    ASSERT_TRUE(file);
    EXPECT_EQ(file_position(*file), 8u);
}

TEST_F(FilePosition, RotationPointsFollowTheBytesOnDisk)
{
    // An existing file 1000 bytes long, a limit of 1 KiB, lines of 100 bytes: the first record
    // still goes into the old file (1000 < 1024), the second rotates, and every later file
    // takes lines until it holds at least 1024 bytes: 2 + 11 * 100.
    ASSERT_TRUE(::CreateDirectoryW((logs.path() + L"\\CA3").c_str(), nullptr));
    const std::string old(1000, 'x');
    {
        unique_file f(::CreateFileW(current.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(f.get(), old.data(), 1000, &written, nullptr));
    }
    const BYTE limit[5] = {1, 0, 0, 0, 3};
    test::set_binary(HKEY_CLASSES_ROOT, (std::wstring(test::settings_key_path) + L"\\Limit").c_str(), L"3", limit, 5);
    {
        logsettings settings;
        writer_thread writer(settings);
        for (int i = 0; i < 13; ++i) {
            auto* record = new logrecord(0x10);
            record->time = SYSTEMTIME{2024, 1, 1, 1, 0, 0, 0, 0};
            // The header is 48 code units; 48 + 0 + CR LF = 50 units = 100 bytes.
            record->arguments.push_back(make_counted<wtextargument>(L""));
            writer.post(WM_LOGRECORD, reinterpret_cast<WPARAM>(new postedrecord{key, record}), 0);
        }
    }
    EXPECT_EQ(size_on_disk(logs.path() + L"\\CA3\\Pos-1.0.0.0-2.TXT"), 1100u);
    EXPECT_EQ(size_on_disk(logs.path() + L"\\CA3\\Pos-1.0.0.0-1.TXT"), 2u + 11 * 100);
    EXPECT_EQ(size_on_disk(current), 2u + 1 * 100);
}

} // namespace
} // namespace kvt
