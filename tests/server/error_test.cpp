#include "server/error.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

namespace kvt {
namespace {

const wchar_t registry_format[] = L"Unable to access system registry.\n\nError %2!d!: %1";
const wchar_t no_description[] = L"<Description of the error is not available>";

std::wstring system_text(DWORD code)
{
    wchar_t text[512] = {};
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 512, nullptr);
    return text;
}

// A body without texts whose description throws, and which counts its destructions.
class probe_body final : public error_impl {
public:
    explicit probe_body(int& destroyed) noexcept : destroyed_(destroyed) {}
    ~probe_body() override { ++destroyed_; }
    const wchar_t* description() override { throw std::bad_alloc(); }

private:
    int& destroyed_;
};

class probe_error : public error {
public:
    explicit probe_error(int& destroyed) : error(new probe_body(destroyed)) {}
};

TEST(ErrorTest, UsrerrorFormatsItsInsertsAtOnce)
{
    const usrerror e(L"KVT.Logging.1", L"The command line switch %1 is incompatible with the switch %2.", L"-A",
                     L"-B");
    EXPECT_STREQ(caption(e), L"KVT.Logging.1");
    EXPECT_STREQ(description(e), L"The command line switch -A is incompatible with the switch -B.");
}

TEST(ErrorTest, UnformattableUsrerrorWithoutCaptionShowsTheFallBacks)
{
    for (const wchar_t* format : {L"Insert %1 without its value.", L"Bad %1!d insert."}) {
        const usrerror e(nullptr, format);
        EXPECT_STREQ(caption(e), L"Error");
        EXPECT_STREQ(description(e), no_description);
    }
}

TEST(ErrorTest, SyserrorIsFormattedOnceAndKeptFinished)
{
    const syserror e(ERROR_ACCESS_DENIED, L"COM Server Unregistration", registry_format);
    const wchar_t* first = description(e);
    // FormatMessageW turns each line feed of the format into CR LF.
    EXPECT_EQ(first, L"Unable to access system registry.\r\n\r\nError 5: " + system_text(ERROR_ACCESS_DENIED));
    EXPECT_EQ(description(e), first);  // the same buffer: not formatted a second time
    EXPECT_STREQ(caption(e), L"COM Server Unregistration");
}

TEST(ErrorTest, SyserrorWithCodeZeroShowsItsFormatUnformatted)
{
    const syserror e(0, L"COM Server Registration", registry_format);
    EXPECT_STREQ(description(e), registry_format);
}

TEST(ErrorTest, FallBacksReplaceTextsTheBodyCannotGive)
{
    int destroyed = 0;
    const probe_error e(destroyed);
    EXPECT_STREQ(caption(e), L"Error");
    EXPECT_STREQ(description(e), no_description);
}

TEST(ErrorTest, CopiesShareOneBodyThatTheLastCopyFrees)
{
    int destroyed = 0;
    int replaced = 0;
    try {
        try {
            throw probe_error(destroyed);
        } catch (const error& e) {
            probe_error other(replaced);
            static_cast<error&>(other) = e;
            EXPECT_EQ(replaced, 1);
            EXPECT_EQ(&other.body(), &e.body());
            throw;
        }
    } catch (const error& e) {
        const error copy = e;
        EXPECT_EQ(&copy.body(), &e.body());
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

} // namespace
} // namespace kvt
