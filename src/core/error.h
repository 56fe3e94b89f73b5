#pragma once
// The exceptions of the command-line path. A wrong switch or a failed registration action
// travels as an error to the one handler in parse_command_line, which shows it in a box.
//
// An error is a small handle on a counted body that holds the caption and the text, so the
// copies the exception machinery makes share one body, allocated once; the last copy frees
// it. Errors live on the main thread only, but the count still changes atomically.
// error is not derived from std::exception: only that one handler catches it.

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>

namespace kvt {

using owned_text = std::unique_ptr<wchar_t[]>;

// The counted body of an error. The base has neither caption nor text.
class errorbody {
public:
    errorbody() noexcept = default;
    virtual ~errorbody() = default;
    errorbody(const errorbody&) = delete;
    errorbody& operator=(const errorbody&) = delete;

    // The box's caption and text, or null when there is none.
    virtual const wchar_t* caption() { return nullptr; }
    virtual const wchar_t* description() { return nullptr; }

private:
    friend class error;
    std::atomic<std::uint32_t> count_{1};
};

class error {
public:
    error(const error& o) noexcept;
    error& operator=(const error& o) noexcept;
    virtual ~error();

    errorbody& body() const noexcept { return *body_; }

protected:
    // Takes over the body's first reference.
    explicit error(errorbody* body) noexcept : body_(body) {}

private:
    void release() noexcept;
    errorbody* body_;
};

// Body of a usrerror: the caption (null when none was given) and the finished text (null
// when the format could not be formatted).
class usrerrorbody final : public errorbody {
public:
    // inserts: the values of %1, %2, ... (wide texts as DWORD_PTR), or empty.
    usrerrorbody(const wchar_t* caption, const wchar_t* format, std::span<const DWORD_PTR> inserts);
    const wchar_t* caption() override { return caption_.get(); }
    const wchar_t* description() override { return text_.get(); }

private:
    owned_text caption_;
    owned_text text_;
};

// Body of a syserror: a Win32 code and a format whose %1 is the system's text for the code
// and %2!d! the code. The text is formatted when first asked for and then kept in place of
// the format, with the code set to 0 to mark it finished.
class syserrorbody final : public errorbody {
public:
    syserrorbody(DWORD code, const wchar_t* caption, const wchar_t* format);
    const wchar_t* caption() override { return caption_.get(); }
    // Null when the system has no text for the code or formatting fails; a later call tries again.
    const wchar_t* description() override;

private:
    DWORD code_;
    owned_text caption_;
    owned_text format_;
};

// An error a person can fix, formatted at once; each insert is a wide text.
class usrerror : public error {
public:
    template <class... Texts>
        requires(std::is_convertible_v<Texts, const wchar_t*> && ...)
    usrerror(const wchar_t* caption, const wchar_t* format, Texts... inserts)
        : error(make_body(caption, format,
                          std::array<DWORD_PTR, sizeof...(Texts)>{
                              reinterpret_cast<DWORD_PTR>(static_cast<const wchar_t*>(inserts))...}))
    {
    }

private:
    static errorbody* make_body(const wchar_t* caption, const wchar_t* format,
                                 std::span<const DWORD_PTR> inserts);
};

// A failed system call; its text is formatted only when shown.
class syserror : public error {
public:
    syserror(DWORD code, const wchar_t* caption, const wchar_t* format);
};

// The body's caption and text, or "Error" and "<Description of the error is not available>"
// when the body has none or fails to give it.
const wchar_t* caption(const error& e) noexcept;
const wchar_t* description(const error& e) noexcept;

// Shows the error in a box with the error icon, unless the quiet flag is set.
void report_error(const error& e) noexcept;

} // namespace kvt
