#include "kvtlogctl/console.h"

namespace kvt::ctl {

std::string to_utf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), n, nullptr, nullptr);
    return bytes;
}

namespace {

bool is_console(HANDLE h) noexcept
{
    DWORD mode;
    return ::GetConsoleMode(h, &mode) != 0;
}

} // namespace

console::console() noexcept : out_(::GetStdHandle(STD_OUTPUT_HANDLE)), err_(::GetStdHandle(STD_ERROR_HANDLE))
{
    if (is_console(out_) || is_console(err_)) {
        saved_code_page_ = ::GetConsoleOutputCP();
        ::SetConsoleOutputCP(CP_UTF8);
    }
}

console::~console()
{
    if (saved_code_page_)
        ::SetConsoleOutputCP(saved_code_page_);
}

bool console::write(HANDLE to, std::wstring_view line) noexcept
{
    try {
        const std::string bytes = to_utf8(line) + "\r\n";
        DWORD written = 0;
        return ::WriteFile(to, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    } catch (...) {
        return false;
    }
}

} // namespace kvt::ctl
