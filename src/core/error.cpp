#include "core/error.h"

#include "core/message_box.h"
#include "win/system_text.h"

#include <cwchar>
#include <optional>
#include <string>

namespace kvt {

namespace {

owned_text copy_text(const wchar_t* text)
{
    if (!text)
        return nullptr;
    const std::size_t size = std::wcslen(text) + 1;
    owned_text copy(new wchar_t[size]);
    std::wmemcpy(copy.get(), text, size);
    return copy;
}

// A copy of our own of what FormatMessageW made; null when it failed.
owned_text copy_text(const std::optional<std::wstring>& text)
{
    return text ? copy_text(text->c_str()) : nullptr;
}

} // namespace

error::error(const error& o) noexcept : body_(o.body_)
{
    body_->count_.fetch_add(1, std::memory_order_relaxed);
}

error& error::operator=(const error& o) noexcept
{
    o.body_->count_.fetch_add(1, std::memory_order_relaxed);
    release();
    body_ = o.body_;
    return *this;
}

error::~error() { release(); }

void error::release() noexcept
{
    if (body_->count_.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete body_;
}

usrerrorbody::usrerrorbody(const wchar_t* caption, const wchar_t* format,
                             std::span<const DWORD_PTR> inserts)
    : caption_(copy_text(caption)),
      // Without inserts there is no array: a format that asks for one then fails to format
      // instead of reading past it.
      text_(copy_text(format_text(format, inserts.empty() ? nullptr : inserts.data())))
{
}

syserrorbody::syserrorbody(DWORD code, const wchar_t* caption, const wchar_t* format)
    : code_(code), caption_(copy_text(caption)), format_(copy_text(format))
{
}

const wchar_t* syserrorbody::description()
{
    if (code_ == 0)
        return format_.get();
    const std::optional<std::wstring> system = system_text(code_, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT));
    if (!system)
        return nullptr;
    const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(system->c_str()), code_};
    owned_text finished = copy_text(format_text(format_.get(), arguments));
    if (!finished)
        return nullptr;
    code_ = 0;
    format_ = std::move(finished);
    return format_.get();
}

errorbody* usrerror::make_body(const wchar_t* caption, const wchar_t* format,
                                std::span<const DWORD_PTR> inserts)
{
    return new usrerrorbody(caption, format, inserts);
}

syserror::syserror(DWORD code, const wchar_t* caption, const wchar_t* format)
    : error(new syserrorbody(code, caption, format))
{
}

namespace {

// What the body's text operation gives, or the fall-back when it gives nothing or throws:
// the box is shown whatever state the body is in.
const wchar_t* text_or(const error& e, const wchar_t* (errorbody::*text)(), const wchar_t* fall_back) noexcept
{
    try {
        if (const wchar_t* t = (e.body().*text)())
            return t;
    } catch (...) {
    }
    return fall_back;
}

} // namespace

const wchar_t* caption(const error& e) noexcept
{
    return text_or(e, &errorbody::caption, L"Error");
}

const wchar_t* description(const error& e) noexcept
{
    return text_or(e, &errorbody::description, L"<Description of the error is not available>");
}

void report_error(const error& e) noexcept
{
    show_message(description(e), caption(e), MB_OK | MB_ICONERROR);
}

} // namespace kvt
