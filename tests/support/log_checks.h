#pragma once
// Looking at log files that the writer thread may still be writing: waiting for the writer
// or a condition, telling whether a file is held open, and the message texts of its lines.

#include "support/temp_directory.h"
#include "win/unique_resource.h"

#include <kvtlog.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvt::test {

// Returns once the writer thread has handled everything posted before and closed its files:
// Suspend(TRUE) returns only then, and Suspend(FALSE) lets it write again.
inline void wait_for_writer(ILogControl* control)
{
    EXPECT_EQ(control->Suspend(TRUE), S_OK);
    EXPECT_EQ(control->Suspend(FALSE), S_OK);
}

// Polls the condition every 20 ms for up to ten seconds; gives its last answer.
template <class Condition>
bool wait_until(Condition done)
{
    for (int waited = 0; !done() && waited < 10000; waited += 20)
        ::Sleep(20);
    return done();
}

// True while some handle (the writer's) holds the file open: an exclusive open fails then.
inline bool is_open(const std::wstring& path)
{
    const uniquehandle file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return !file && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

// The message texts of a log file's lines, in file order: what follows each line's six
// header fields.
inline std::vector<std::wstring> log_texts(const std::wstring& path)
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
