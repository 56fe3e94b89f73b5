#pragma once
// What the fixtures that talk to a logging service share, whether the service lives in this
// process or in the real server: the service's two interfaces, the log directory, and the
// steps every test takes (make a source, log a text, wait for the writer, read a file).

#include "load/self_process.h"

#include <kvtlog.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace kvt::test {

class service_access {
protected:
    static constexpr DWORD default_version[4] = {1, 2, 3, 4};

    Microsoft::WRL::ComPtr<ILogSource> create_source(DWORD id, const wchar_t* name,
                                                     const DWORD version[4] = default_version);

    // One ERROR message with the text.
    void log(ILogSource* source, const wchar_t* text);

    // Returns once the writer has handled everything posted before.
    void wait_for_writer();

    std::vector<std::wstring> lines_of(DWORD id, const wchar_t* name, const DWORD version[4] = default_version) const;

    std::wstring log_directory_;
    Microsoft::WRL::ComPtr<ILogService> service_;
    Microsoft::WRL::ComPtr<ILogControl> control_;
};

// True when one of the lines ends with the text (the message text ends a line).
bool has_line_ending(const std::vector<std::wstring>& lines, const std::wstring& text);

} // namespace kvt::test
