// A rotation blocked by another program that holds an older log file open without
// FILE_SHARE_DELETE: the older file can be neither renamed nor deleted, so the current file
// stays where it is and keeps growing past its limit; the writer tries the rotation again
// before each further record, and the first record after the file is let go rotates. The
// holder is a handle of this process, which blocks a rename or delete exactly as another
// program's handle does: sharing is checked per open handle.

#include "com/service_fixture.h"
#include "load/log_paths.h"

namespace kvt::test {

namespace {

constexpr DWORD id = 9;
constexpr wchar_t name[] = L"rotating";

struct blocked_rotation {
    DWORD files;  // 3: the held file is to be renamed; 2: it is to be deleted
    // The message texts of -2, -1 and the current file once the file has been let go.
    std::vector<std::wstring> final_files[3];
};

void PrintTo(const blocked_rotation& f, std::ostream* os) { *os << "files " << f.files; }

const blocked_rotation rotations[] = {
    {3, {{L"r0"}, {L"r1", L"r2", L"r3", L"r4"}, {L"r5"}}},
    {2, {{}, {L"r1", L"r2", L"r3", L"r4"}, {L"r5"}}},
};

class BlockedRotation : public service_test, public ::testing::WithParamInterface<blocked_rotation> {
protected:
    std::wstring path(unsigned index) const { return log_file_path(logs_.path(), id, name, test_version, index); }

    std::vector<std::wstring> texts(unsigned index) const
    {
        std::vector<std::wstring> texts = log_texts(path(index));
        for (std::wstring& text : texts)
            text.erase(text.find(L' '));
        return texts;
    }

    // Each line is longer than the 1 KiB limit, so every record after the first rotates.
    void log_record(ILogSource* source, int n)
    {
        log(source, (L"r" + std::to_wstring(n) + L" " + std::wstring(600, L'x')).c_str());
    }
};

TEST_P(BlockedRotation, CurrentFileGrowsWhileAnOlderOneIsHeldAndRotatesOnceItIsLetGo)
{
    const blocked_rotation& rotation = GetParam();
    ASSERT_EQ(service_->SetLimit(id, 1, rotation.files), S_OK);
    const ComPtr<ILogSource> rotating = source(id, name);
    log_record(rotating.Get(), 0);
    log_record(rotating.Get(), 1);
    wait_for_writer();
    ASSERT_EQ(texts(1), std::vector<std::wstring>{L"r0"});

    unique_file held(::CreateFileW(path(1).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    for (int n = 2; n <= 4; ++n)
        log_record(rotating.Get(), n);
    wait_for_writer();
    EXPECT_EQ(texts(0), (std::vector<std::wstring>{L"r1", L"r2", L"r3", L"r4"}));
    EXPECT_EQ(texts(1), std::vector<std::wstring>{L"r0"});
    EXPECT_FALSE(file_exists(path(2)));

    held.reset();
    log_record(rotating.Get(), 5);
    wait_for_writer();
    EXPECT_EQ(texts(2), rotation.final_files[0]);
    EXPECT_EQ(texts(1), rotation.final_files[1]);
    EXPECT_EQ(texts(0), rotation.final_files[2]);
}

INSTANTIATE_TEST_SUITE_P(Each, BlockedRotation, ::testing::ValuesIn(rotations),
                         [](const auto& info) { return "Files" + std::to_string(info.param.files); });

} // namespace

} // namespace kvt::test
