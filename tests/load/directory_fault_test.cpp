// A log directory that cannot be used when a source's file is to be opened: the source's
// records are dropped, the writer goes on, and the first record after the directory has
// become usable opens the file. In this process, against the service the server uses.

#include "com/service_fixture.h"
#include "load/log_paths.h"

#include <functional>

namespace kvt::test {

namespace {

constexpr DWORD blocked_id = 7;
constexpr DWORD other_id = 8;

bool make_file(const std::wstring& path)
{
    return static_cast<bool>(unique_file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
}

class DirectoryFaults;

struct directory_fault {
    const char* what;
    bool every_source;  // the whole log directory is unusable, not only one id's directory
    std::function<void(DirectoryFaults&)> damage;
    std::function<void(DirectoryFaults&)> repair;
    std::function<std::wstring(DirectoryFaults&)> directory_after;
};

class DirectoryFaults : public service_test, public ::testing::WithParamInterface<directory_fault> {
public:
    std::wstring logs() const { return logs_.path(); }
    std::wstring blocked_directory() const { return id_directory(logs(), blocked_id); }
    std::wstring missing() const { return logs() + L"\\missing"; }
    std::wstring elsewhere() const { return logs() + L"\\elsewhere"; }
    void set_log_path(const std::wstring& path) { EXPECT_EQ(control_->SetLogPath(path.c_str()), S_OK); }
    std::vector<std::wstring> texts_in(const std::wstring& directory, DWORD id, const wchar_t* name) const
    {
        return log_texts(log_file_path(directory, id, name, test_version));
    }
};

void PrintTo(const directory_fault& f, std::ostream* os) { *os << f.what; }

const directory_fault faults[] = {
    {"a file where the source id's directory should be, then the directory made by hand", false,
     [](DirectoryFaults& t) { EXPECT_TRUE(make_file(t.blocked_directory())); },
     [](DirectoryFaults& t) {
         EXPECT_TRUE(::DeleteFileW(t.blocked_directory().c_str()));
         EXPECT_TRUE(::CreateDirectoryW(t.blocked_directory().c_str(), nullptr));
     },
     [](DirectoryFaults& t) { return t.logs(); }},
    {"a file where the log directory should be, then another directory set", true,
     [](DirectoryFaults& t) {
         EXPECT_TRUE(make_file(t.missing()));
         t.set_log_path(t.missing());
     },
     [](DirectoryFaults& t) { t.set_log_path(t.elsewhere()); },
     [](DirectoryFaults& t) { return t.elsewhere(); }},
    {"the log directory's parent missing, then made by hand", true,
     [](DirectoryFaults& t) { t.set_log_path(t.missing() + L"\\logs"); },
     [](DirectoryFaults& t) { EXPECT_TRUE(::CreateDirectoryW(t.missing().c_str(), nullptr)); },
     [](DirectoryFaults& t) { return t.missing() + L"\\logs"; }},
    {"the log directory's parent missing, then another directory set", true,
     [](DirectoryFaults& t) { t.set_log_path(t.missing() + L"\\logs"); },
     [](DirectoryFaults& t) { t.set_log_path(t.elsewhere()); },
     [](DirectoryFaults& t) { return t.elsewhere(); }},
};

TEST_P(DirectoryFaults, RecordsAreDroppedUntilTheDirectoryIsUsableAndTheNextOneIsWritten)
{
    const directory_fault& fault = GetParam();
    SCOPED_TRACE(fault.what);
    const ComPtr<ILogSource> blocked = source(blocked_id, L"blocked");
    const ComPtr<ILogSource> other = source(other_id, L"other");
    fault.damage(*this);
    log(blocked.Get(), L"dropped");
    log(other.Get(), L"while damaged");
    wait_for_writer();
    if (!fault.every_source) {
        EXPECT_EQ(texts_in(logs(), other_id, L"other"), std::vector<std::wstring>{L"while damaged"});
    }

    fault.repair(*this);
    log(blocked.Get(), L"after repair");
    log(other.Get(), L"other after repair");
    wait_for_writer();
    const std::wstring after = fault.directory_after(*this);
    EXPECT_EQ(texts_in(after, blocked_id, L"blocked"), std::vector<std::wstring>{L"after repair"});
    const std::vector<std::wstring> others = texts_in(after, other_id, L"other");
    EXPECT_EQ(others.empty() ? L"" : others.back(), L"other after repair");
}

INSTANTIATE_TEST_SUITE_P(Each, DirectoryFaults, ::testing::ValuesIn(faults),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

} // namespace

} // namespace kvt::test
