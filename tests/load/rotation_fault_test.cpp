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

class BlockedRotation : public servicetest, public ::testing::WithParamInterface<DWORD> {
protected:
    std::wstring path(unsigned index) const { return log_file_path(logs_.path(), 9, L"rotating", test_version, index); }

    // The record numbers in a file.
    std::vector<std::wstring> texts(unsigned index) const
    {
        std::vector<std::wstring> texts = log_texts(path(index));
        for (std::wstring& text : texts)
            text.erase(text.find(L' '));
        return texts;
    }
};

// Files kept 3: the held file is to be renamed; 2: it is to be deleted. Each line is longer
// than the 1 KiB limit, so every record after the first rotates.
TEST_P(BlockedRotation, CurrentFileGrowsWhileAnOlderOneIsHeldAndRotatesOnceItIsLetGo)
{
    const DWORD files = GetParam();
    ASSERT_EQ(service_->SetLimit(9, 1, files), S_OK);
    const ComPtr<ILogSource> rotating = source(9, L"rotating");
    const auto log_record = [&](int n) { log(rotating.Get(), (L"r" + std::to_wstring(n) + L" " + std::wstring(600, L'x')).c_str()); };
    log_record(0);
    log_record(1);
    wait_for_writer();
    ASSERT_EQ(texts(1), std::vector<std::wstring>{L"r0"});

    uniquehandle held(::CreateFileW(path(1).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    for (int n = 2; n <= 4; ++n)
        log_record(n);
    wait_for_writer();
    const std::vector<std::wstring> grown = {L"r1", L"r2", L"r3", L"r4"};
    EXPECT_EQ(texts(0), grown);
    EXPECT_EQ(texts(1), std::vector<std::wstring>{L"r0"});
    EXPECT_FALSE(file_exists(path(2)));

    held.reset();
    log_record(5);
    wait_for_writer();
    EXPECT_EQ(texts(2), files == 3 ? std::vector<std::wstring>{L"r0"} : std::vector<std::wstring>{});
    EXPECT_EQ(texts(1), grown);
    EXPECT_EQ(texts(0), std::vector<std::wstring>{L"r5"});
}

INSTANTIATE_TEST_SUITE_P(Each, BlockedRotation, ::testing::Values(3, 2),
                         [](const auto& info) { return "Files" + std::to_string(info.param); });

} // namespace

} // namespace kvt::test
