#pragma once
// The standard output and error of kvtlogctl. Texts are UTF-16 inside the tool and leave it
// as UTF-8, each line ended with CR LF; a console window is switched to UTF-8 for the life
// of the object and back afterwards. Used by the main thread only.

#include <windows.h>

#include <string>
#include <string_view>

namespace kvt::ctl {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string to_utf8(std::wstring_view text);

class console {
public:
    console() noexcept;
    ~console();
    console(const console&) = delete;
    console& operator=(const console&) = delete;

    // False when the output is gone (a closed pipe): whoever produces lines can stop.
    bool out(std::wstring_view line) const noexcept { return write(out_, line); }
    void err(std::wstring_view line) const noexcept { write(err_, line); }

private:
    static bool write(HANDLE to, std::wstring_view line) noexcept;

    HANDLE out_;
    HANDLE err_;
    UINT saved_code_page_ = 0;
};

} // namespace kvt::ctl
