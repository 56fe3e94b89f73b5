#include "load/service_test.h"

#include "load/log_paths.h"
#include "support/temp_directory.h"
#include "support/wait_for_writer.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kvt::test {

Microsoft::WRL::ComPtr<ILogSource> service_access::create_source(DWORD id, const wchar_t* name, const DWORD version[4])
{
    Microsoft::WRL::ComPtr<ILogSource> source;
    EXPECT_EQ(service_->CreateSource(id, name, version, IID_ILogSource, reinterpret_cast<void**>(source.GetAddressOf())),
              S_OK);
    return source;
}

void service_access::log(ILogSource* source, const wchar_t* text)
{
    ASSERT_TRUE(source);
    Microsoft::WRL::ComPtr<ILogMessage> message;
    ASSERT_EQ(source->CreateMessage(0x02, IID_ILogMessage, reinterpret_cast<void**>(message.GetAddressOf())), S_OK);
    ASSERT_EQ(message->AddWString(text), S_OK);
}

void service_access::wait_for_writer() { kvt::test::wait_for_writer(control_.Get()); }

std::vector<std::wstring> service_access::lines_of(DWORD id, const wchar_t* name, const DWORD version[4]) const
{
    return read_log_lines(log_file_path(log_directory_, id, name, version));
}

bool has_line_ending(const std::vector<std::wstring>& lines, const std::wstring& text)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) { return line.ends_with(text); });
}

} // namespace kvt::test
