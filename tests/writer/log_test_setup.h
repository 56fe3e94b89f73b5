#pragma once
// What the log file and writer tests share: settings in a scratch registry that point at a
// fresh log directory, records with fixed texts, and views of the files written.

#include "com/argument.h"
#include "support/scratch_registry.h"
#include "support/temp_directory.h"
#include "win/unique_resource.h"
#include "writer/log_files.h"
#include "writer/logrecord.h"

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

namespace kvt::test {

// The default settings, written as registration writes them, with a new directory as the
// log directory. Construct it before the settings store, which opens the key.
struct scratch_settings {
    scratch_settings() { write_default_settings(logs.path()); }

    scratch_registry registry;
    temp_directory logs;
};

// Renders a fixed text; counts its destruction when given a counter.
class fixed_argument final : public argument {
public:
    fixed_argument(std::wstring_view text, std::atomic<int>* destroyed) : text_(text), destroyed_(destroyed) {}
    ~fixed_argument() override
    {
        if (destroyed_)
            ++*destroyed_;
    }
    countedwstring render() const override { return text_; }

private:
    countedwstring text_;
    std::atomic<int>* destroyed_;
};

// An INFO record with one argument.
inline logrecord* make_record(std::wstring_view text, std::atomic<int>* destroyed = nullptr)
{
    auto* record = new logrecord(0x10);
    record->arguments.push_back(make_counted<const fixed_argument>(text, destroyed));
    return record;
}

// The full path of file number n of a source under log_path.
inline std::wstring log_file_path(const std::wstring& log_path, const sourcekey& key, unsigned number = 0)
{
    return log_directory(log_path, key.id) + log_file_name(key, number).value();
}

// The message texts of a log file's lines: each line without its header of six fields.
inline std::vector<std::wstring> logged_texts(const std::wstring& path)
{
    std::vector<std::wstring> texts;
    for (const std::wstring& line : read_log_lines(path)) {
        std::size_t start = 0;
        for (int bar = 0; bar < 6; ++bar)
            start = line.find(L'|', start) + 1;
        texts.push_back(line.substr(start));
    }
    return texts;
}

} // namespace kvt::test
