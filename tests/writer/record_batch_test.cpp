#include "writer/writer_thread.h"

#include "core/arguments.h"
#include "log_test_setup.h"

#include <filesystem>
#include <map>

namespace kvt::test {
namespace {

using tree = std::map<std::wstring, std::vector<unsigned char>>;

// Records of three sources, two of them sharing id 7, three in a row for each, under limits
// of 1 KiB that rotate every few lines of 200 to 800 bytes. Single records are a message
// object's records; batches hold the same content in their packed form.
class RecordBatch : public logtest {
protected:
    static constexpr int records = 14;

    RecordBatch()
    {
        settings_.set_limit(7, {1, 3});
        settings_.set_limit(8, {1, 2});
    }

    // Record i: every kind of value, texts of varying length.
    const SYSTEMTIME time_{2026, 12, 0, 6, 7, 8, 9, 10};
    std::wstring text(int i) const { return std::wstring(i * 173 % 300 + 2, static_cast<wchar_t>(L'a' + i)) + L"\n"; }

    std::unique_ptr<postedrecord> posted(int i)
    {
        auto r = std::make_unique<logrecord>(0x10u << i % 3);
        r->time = time_;
        r->firstid = static_cast<std::uint32_t>(-i);
        r->line = i;
        r->function = std::make_unique<wchar_t[]>(2);
        r->function[0] = L'f';
        r->arguments.push_back(make_counted<const intargument<std::int64_t>>(-i, 10, 0));
        r->arguments.push_back(make_counted<const intargument<std::uint32_t>>(i, 16, 8));
        r->arguments.push_back(make_counted<const realargument<double>>(i / 3.0));
        r->arguments.push_back(make_counted<const textargument>("\x81"));
        r->arguments.push_back(make_counted<const wtextargument>(text(i).c_str()));
        return std::make_unique<postedrecord>(postedrecord{keys_[i / 3 % 3], std::move(r), &counters_});
    }
    void add(recordbatch& batch, int i)
    {
        batch.add_record(keys_[i / 3 % 3], counters_, 0x10u << i % 3, time_, static_cast<std::uint32_t>(-i), 0, nullptr,
                         i, L"f");
        batch.add_signed(-i);
        batch.add_unsigned(i, 16, 8);
        batch.add_real(i / 3.0);
        batch.add_oem("\x81");
        batch.add_wide(text(i));
    }

    // The files written for every record, in batches cut at the cuts (none: one record per
    // message), in a directory of their own.
    tree written(const std::vector<int>& cuts)
    {
        const std::wstring directory = logs_.path() + L"\\run" + std::to_wstring(runs_++);
        settings_.set_log_path(directory.c_str());
        {
            const writerthread writer(settings_);
            if (cuts.empty())
                for (int i = 0; i < records; ++i)
                    writer.commit(posted(i));
            for (std::size_t c = 0; c + 1 < cuts.size(); ++c) {
                auto batch = std::make_unique<recordbatch>();
                for (int i = cuts[c]; i < cuts[c + 1]; ++i)
                    add(*batch, i);
                writer.commit(std::move(batch));
            }
        }
        tree files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
            if (entry.is_regular_file())
                files[entry.path().wstring().substr(directory.size())] = read_file_bytes(entry.path().wstring());
        return files;
    }

    const std::uint32_t v1235_[4] = {1, 2, 3, 5};
    const sourcekeyref keys_[3] = {app_, make_sourcekey(7, v1235_, L"App"), make_sourcekey(8, v1234, L"Other")};
    sourcecounters counters_;
    int runs_ = 0;
};

TEST_F(RecordBatch, BatchesCutAnywhereWriteTheBytesAndRotationPointsOfSingleRecords)
{
    const tree single = written({});
    ASSERT_EQ(single.size(), 5u);  // rotated files among them
    EXPECT_EQ(written({0, records}), single);
    for (int cut = 1; cut < records; ++cut)
        EXPECT_EQ(written({0, cut, records}), single) << "cut before record " << cut;
    const countersnapshot c = read_counters(counters_);
    EXPECT_EQ(c.committed, (records + 1u) * records);
    EXPECT_EQ(c.written, c.committed);
    EXPECT_GT(c.rotations, 0u);
}

} // namespace
} // namespace kvt::test
