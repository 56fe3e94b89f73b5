#include "core/error.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <new>
#include <string>

namespace kvt {
namespace {

const wchar_t registry_format[] = L"Unable to access system registry.\n\nError %2!d!: %1";

// An error whose body has no caption, throws when asked for its text, and counts its
// destructions.
struct probebody final : errorbody {
    explicit probebody(int& destroyed) noexcept : destroyed(destroyed) {}
    ~probebody() override { ++destroyed; }
    const wchar_t* description() override { throw std::bad_alloc(); }
    int& destroyed;
};
struct probeerror : error {
    explicit probeerror(int& destroyed) : error(new probebody(destroyed)) {}
};

TEST(ErrorTest, SyserrorIsFormattedOnceAndWithCodeZeroNotAtAll)
{
    wchar_t system_text[512] = {};
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), system_text, 512, nullptr);
    const syserror e(ERROR_ACCESS_DENIED, L"COM Server Unregistration", registry_format);
    const wchar_t* first = description(e);
    // FormatMessageW turns each line feed of the format into CR LF.
    EXPECT_EQ(first, L"Unable to access system registry.\r\n\r\nError 5: " + std::wstring(system_text));
    EXPECT_EQ(description(e), first);  // the same buffer: not formatted a second time
    EXPECT_STREQ(caption(e), L"COM Server Unregistration");

    const syserror zero(0, L"COM Server Registration", registry_format);
    EXPECT_STREQ(description(zero), registry_format);
}

TEST(ErrorTest, CaptionAndTextFallBackWhenTheBodyCannotGiveThem)
{
    int destroyed = 0;
    const probeerror throwing(destroyed);
    const usrerror missing_insert(nullptr, L"Insert %1 without its value."), bad_insert(nullptr, L"Bad %1!d insert.");
    for (const error* e : std::initializer_list<const error*>{&throwing, &missing_insert, &bad_insert}) {
        EXPECT_STREQ(caption(*e), L"Error");
        EXPECT_STREQ(description(*e), L"<Description of the error is not available>");
    }
}

TEST(ErrorTest, CopiesShareOneBodyThatTheLastCopyFrees)
{
    int destroyed = 0, replaced = 0;
    try {
        throw probeerror(destroyed);
    } catch (const error& e) {
        const error copy = e;
        probeerror other(replaced);
        static_cast<error&>(other) = e;  // lets go of the body it had
        EXPECT_EQ(replaced, 1);
        EXPECT_EQ(&other.body(), &e.body());
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

} // namespace
} // namespace kvt
