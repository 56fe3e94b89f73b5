#include "writer/log_files.h"

#include "log_test_setup.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace kvt::test {
namespace {

TEST(LogNames, DirectoryUsesBackslashesAndTheSourceIdTextAndFileNamesTheSignedVersions)
{
    const struct { const wchar_t* log_path; std::uint32_t id; const wchar_t* directory; } cases[] = {
        {L"C:/Logs/", 7, L"C:\\Logs\\CA7\\"},
        {L"C:\\Logs\\\\", 0, L"C:\\Logs\\GE\\"},
        {L"\\\\server/share", 4294967295u, L"\\\\server\\share\\CA4294967295\\"},
        {L"", 7, L"\\CA7\\"},
        {L"\\\\", 1, L"\\\\\\CA1\\"},  // nothing but backslashes stays as it is
    };
    for (const auto& c : cases)
        EXPECT_EQ(log_directory(c.log_path, c.id), c.directory) << c.log_path;

    const std::uint32_t negative[4] = {4294967295u, 0, 2147483648u, 9};
    EXPECT_EQ(log_file_name(*make_sourcekey(7, v1234, L"App"), 0), L"App-1.2.3.4.TXT");
    EXPECT_EQ(log_file_name(*make_sourcekey(7, v1234, L"App"), 2), L"App-1.2.3.4-2.TXT");
    EXPECT_EQ(log_file_name(*make_sourcekey(7, negative, L"a/b"), 0), L"a/b--1.0.-2147483648.9.TXT");
    // "-1.2.3.4.TXT" takes 12 code units: 244 of name fill the 256 exactly.
    EXPECT_EQ(log_file_name(*make_sourcekey(7, v1234, std::wstring(244, L'n').c_str()), 0)->size(), 256u);
    EXPECT_FALSE(log_file_name(*make_sourcekey(7, v1234, std::wstring(244, L'n').c_str()), 1));
}

using LogFiles = logtest;

// Files 0 to 3 of a source, one character each, '-' for a missing file.
TEST_F(LogFiles, RotationShiftsTheFilesBelowTheFirstGapAndDropsTheOldest)
{
    filetable files{settings_};
    const struct { const wchar_t* name; unsigned fileskept; const char* before; const char* after; } cases[] = {
        {L"Full", 3, "abc-", "-ab-"},
        {L"Short", 3, "ab--", "-ab-"},
        {L"Gap", 3, "a-cd", "-acd"},
        {L"Single", 1, "ab--", "-b--"},
    };
    for (const auto& c : cases) {
        const auto key = make_sourcekey(7, v1234, c.name);
        ASSERT_TRUE(open_log_file(files, key));  // makes the directories
        close_all_files(files);
        for (unsigned n = 0; n < 4; ++n)
            if (c.before[n] != '-')
                std::ofstream(std::filesystem::path(path(key, n)), std::ios::binary) << c.before[n];
        ASSERT_TRUE(open_log_file(files, key));
        rotate_log_files(files, key, c.fileskept);
        EXPECT_TRUE(files.entries.empty());
        std::string after;
        for (unsigned n = 0; n < 4; ++n) {
            const auto bytes = read_file_bytes(path(key, n));
            after += file_exists(path(key, n)) ? std::string(bytes.begin(), bytes.end()) : "-";
        }
        EXPECT_EQ(after, c.after) << c.name;
    }
}

} // namespace
} // namespace kvt::test
