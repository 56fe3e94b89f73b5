#include "writer/log_files.h"

#include "log_test_setup.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace kvt {
namespace {

const std::uint32_t v1234[4] = {1, 2, 3, 4};

TEST(LogNames, DirectoryUsesBackslashesAndTheSourceIdText)
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
}

TEST(LogNames, FileNameCarriesSignedVersionsAndTheNumber)
{
    const std::uint32_t negative[4] = {4294967295u, 0, 2147483648u, 9};
    const auto app = make_sourcekey(7, v1234, L"App");
    EXPECT_EQ(log_file_name(*app, 0), L"App-1.2.3.4.TXT");
    EXPECT_EQ(log_file_name(*app, 2), L"App-1.2.3.4-2.TXT");
    EXPECT_EQ(log_file_name(*make_sourcekey(7, negative, L"a/b"), 0), L"a/b--1.0.-2147483648.9.TXT");

    // "-1.2.3.4.TXT" takes 12 code units: 244 of name fill the 256 exactly.
    const auto longest = make_sourcekey(7, v1234, std::wstring(244, L'n').c_str());
    EXPECT_EQ(log_file_name(*longest, 0)->size(), max_log_file_name);
    EXPECT_FALSE(log_file_name(*longest, 1));
}

class LogFiles : public ::testing::Test {
protected:
    std::wstring path(const sourcekeyref& key, unsigned number = 0) const
    {
        return test::log_file_path(scratch.logs.path(), *key, number);
    }

    static void append(HANDLE file, const std::string& bytes)
    {
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }

    static std::string content(const std::wstring& path)
    {
        const auto bytes = test::read_file_bytes(path);
        return std::string(bytes.begin(), bytes.end());
    }

    test::scratch_settings scratch;
    logsettings settings;
    filetable files{settings};
    const sourcekeyref app = make_sourcekey(7, v1234, L"App");
};

TEST_F(LogFiles, OpenMakesTheDirectoriesAndStartsANewFileWithOneMarkThenAppends)
{
    const auto general = make_sourcekey(0, v1234, L"App");
    ASSERT_TRUE(open_log_file(files, general));
    EXPECT_EQ(content(scratch.logs.path() + L"\\GE\\App-1.2.3.4.TXT"), "\xFF\xFE");

    const HANDLE file = open_log_file(files, app);
    ASSERT_TRUE(file);
    append(file, "ab");
    EXPECT_EQ(open_log_file(files, app), file);  // kept open between records
    close_all_files(files);
    EXPECT_TRUE(files.entries.empty());
    append(open_log_file(files, app), "cd");
    close_all_files(files);
    EXPECT_EQ(content(path(app)), "\xFF\xFE" "abcd");
}

TEST_F(LogFiles, FailedOpenKeepsAnEmptyEntryAndTheNextOpenTriesAgain)
{
    const std::wstring parent = scratch.logs.path() + L"\\missing";
    settings.set_log_path((parent + L"\\logs").c_str());
    EXPECT_FALSE(open_log_file(files, app));
    ASSERT_EQ(files.entries.size(), 1u);
    EXPECT_FALSE(files.entries.begin()->second);

    ASSERT_TRUE(::CreateDirectoryW(parent.c_str(), nullptr));
    EXPECT_TRUE(open_log_file(files, app));
    EXPECT_TRUE(test::file_exists(parent + L"\\logs\\CA7\\App-1.2.3.4.TXT"));
}

TEST_F(LogFiles, RotationShiftsTheFilesBelowTheFirstGapAndDropsTheOldest)
{
    const struct { const wchar_t* name; unsigned files_kept; std::map<unsigned, std::string> before, after; } cases[] = {
        {L"Full", 3, {{0, "a"}, {1, "b"}, {2, "c"}}, {{1, "a"}, {2, "b"}}},
        {L"Short", 3, {{0, "a"}, {1, "b"}}, {{1, "a"}, {2, "b"}}},
        {L"Gap", 3, {{0, "a"}, {2, "c"}, {3, "d"}}, {{1, "a"}, {2, "c"}, {3, "d"}}},
        {L"Single", 1, {{0, "a"}, {1, "b"}}, {{1, "b"}}},
    };
    for (const auto& c : cases) {
        const auto key = make_sourcekey(7, v1234, c.name);
        ASSERT_TRUE(open_log_file(files, key));  // makes the directories
        close_all_files(files);
        for (const auto& [number, bytes] : c.before) {
            const unique_file file(::CreateFileW(path(key, number).c_str(), GENERIC_WRITE, 0, nullptr,
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            append(file.get(), bytes);
        }
        ASSERT_TRUE(open_log_file(files, key));
        rotate_log_files(files, key, c.files_kept);
        EXPECT_TRUE(files.entries.empty());
        for (unsigned number = 0; number <= 3; ++number) {
            const auto expected = c.after.find(number);
            if (expected == c.after.end())
                EXPECT_FALSE(test::file_exists(path(key, number))) << c.name << " file " << number;
            else
                EXPECT_EQ(content(path(key, number)), expected->second) << c.name << " file " << number;
        }
    }
}

TEST_F(LogFiles, RotationDeletesACurrentFileWhoseNumberedNameIsTooLong)
{
    // The \\?\ form lets the whole path pass the usual 260 characters.
    const std::wstring log_path = L"\\\\?\\" + scratch.logs.path();
    settings.set_log_path(log_path.c_str());
    // A current name of 255 code units, the most that common file systems keep; "-1" makes 257.
    const auto key = make_sourcekey(7, v1234, std::wstring(243, L'n').c_str());
    const std::wstring current = test::log_file_path(log_path, *key);
    append(open_log_file(files, key), "ab");

    rotate_log_files(files, key, 3);
    EXPECT_FALSE(test::file_exists(current));
    ASSERT_TRUE(open_log_file(files, key));
    EXPECT_EQ(content(current), "\xFF\xFE");
}

} // namespace
} // namespace kvt
