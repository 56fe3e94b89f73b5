// A log directory that cannot be used when a source's file is to be opened: the source's
// records are dropped, the writer goes on, and the first record after the directory has
// become usable opens the file. In this process, against the service the server uses.

#include "com/service_fixture.h"
#include "load/log_paths.h"

namespace kvt::test {

namespace {

enum class damage { file_for_id_directory, file_for_log_directory, parent_missing };
enum class repair { by_hand, other_directory };

struct directoryfault {
    damage broken;
    repair fixed;
};

void PrintTo(const directoryfault& f, std::ostream* os) { *os << int(f.broken) << "/" << int(f.fixed); }

class DirectoryFaults : public servicetest, public ::testing::WithParamInterface<directoryfault> {
protected:
    std::vector<std::wstring> texts_in(const std::wstring& logs, DWORD id, const wchar_t* name) const
    {
        return log_texts(log_file_path(logs, id, name, test_version));
    }
};

TEST_P(DirectoryFaults, RecordsAreDroppedUntilTheDirectoryIsUsableAndTheNextOneIsWritten)
{
    const auto [broken, fixed] = GetParam();
    const std::wstring missing = logs_.path() + L"\\missing", elsewhere = logs_.path() + L"\\elsewhere";
    const std::wstring unusable = broken == damage::file_for_id_directory ? id_directory(logs_.path(), 7)
                                  : broken == damage::file_for_log_directory ? missing
                                                                             : missing + L"\\logs";
    const ComPtr<ILogSource> blocked = source(7, L"blocked");
    const ComPtr<ILogSource> other = source(8, L"other");
    if (broken != damage::parent_missing) {
        ASSERT_TRUE(uniquehandle(::CreateFileW(unusable.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
    }
    if (broken != damage::file_for_id_directory) {
        EXPECT_EQ(control_->SetLogPath(unusable.c_str()), S_OK);
    }
    log(blocked.Get(), L"dropped");
    log(other.Get(), L"while damaged");
    wait_for_writer();
    if (broken == damage::file_for_id_directory) {  // only that id's records are dropped
        EXPECT_EQ(texts_in(logs_.path(), 8, L"other"), std::vector<std::wstring>{L"while damaged"});
    }

    std::wstring after = unusable;  // the log directory once repaired
    if (fixed == repair::other_directory) {
        EXPECT_EQ(control_->SetLogPath(elsewhere.c_str()), S_OK);
        after = elsewhere;
    } else if (broken == damage::file_for_id_directory) {
        EXPECT_TRUE(::DeleteFileW(unusable.c_str()));
        EXPECT_TRUE(::CreateDirectoryW(unusable.c_str(), nullptr));
        after = logs_.path();
    } else {
        EXPECT_TRUE(::CreateDirectoryW(missing.c_str(), nullptr));
    }
    log(blocked.Get(), L"after repair");
    log(other.Get(), L"other after repair");
    wait_for_writer();
    EXPECT_EQ(texts_in(after, 7, L"blocked"), std::vector<std::wstring>{L"after repair"});
    const std::vector<std::wstring> others = texts_in(after, 8, L"other");
    EXPECT_EQ(others.empty() ? L"" : others.back(), L"other after repair");
}

const directoryfault faults[] = {
    {damage::file_for_id_directory, repair::by_hand},
    {damage::file_for_log_directory, repair::other_directory},
    {damage::parent_missing, repair::by_hand},
    {damage::parent_missing, repair::other_directory},
};
INSTANTIATE_TEST_SUITE_P(Each, DirectoryFaults, ::testing::ValuesIn(faults),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

} // namespace

} // namespace kvt::test
