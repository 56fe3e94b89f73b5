#include "com/logmessage.h"

#include "com/com_boundary.h"
#include "com/logservice.h"
#include "com/logsource.h"
#include "com/task_string.h"
#include "core/arguments.h"
#include "core/error_text.h"
#include "core/file_name.h"
#include "core/oem_text.h"

namespace kvt {

namespace {

// Fills a client's out string with a copy of text, or null when there is none.
HRESULT copy_out(const std::unique_ptr<wchar_t[]>& text, LPWSTR* out) noexcept
{
    *out = nullptr;
    return com_boundary(catches::memory, [&] {
        if (text)
            *out = task_string(text.get()).release();
        return S_OK;
    });
}

} // namespace

logmessage::logmessage(logsource& source, DWORD level)
    : source_(source), record_(std::make_unique<logrecord>(level))
{
    source_.AddRef();
}

logmessage::~logmessage()
{
    post_record();
    source_.Release();
}

void logmessage::post_record() noexcept
{
    sourcecounters& counters = source_.counters();
    // Without memory for the payload the record is lost, like one the writer cannot take.
    std::unique_ptr<postedrecord> posted(new (std::nothrow) postedrecord{source_.key(), std::move(record_), &counters});
    if (!posted) {
        counters.committed.fetch_add(1);
        counters.refused.fetch_add(1);
        return;
    }
    source_.service().commit(std::move(posted));
}

template <class Kind, class... Args>
HRESULT logmessage::append(const Args&... args) noexcept
{
    return com_boundary(catches::memory | catches::other, [&] {
        // The lock covers the allocations and the link only; rendering is the writer's.
        const sectionguard guard(record_->lock);
        record_->arguments.push_back(make_counted<const Kind>(args...));
        return S_OK;
    });
}

template <class T>
HRESULT logmessage::append_integer(T value, std::uint8_t radix, std::uint16_t min_digits) noexcept
{
    return append<intargument<T>>(value, radix, min_digits);
}

HRESULT STDMETHODCALLTYPE logmessage::AddBool(boolean value) noexcept
{
    return append<wtextargument>(value ? L"true" : L"false");
}

HRESULT STDMETHODCALLTYPE logmessage::AddUInt8(BYTE value) noexcept { return append_integer<std::uint8_t>(value); }
HRESULT STDMETHODCALLTYPE logmessage::AddInt8(signed char value) noexcept { return append_integer<std::int8_t>(value); }

HRESULT STDMETHODCALLTYPE logmessage::AddChar(CHAR value) noexcept
{
    const char text[2] = {value, '\0'};
    return append<textargument>(text);
}

HRESULT STDMETHODCALLTYPE logmessage::AddWChar(WCHAR value) noexcept
{
    const wchar_t text[2] = {value, L'\0'};
    return append<wtextargument>(text);
}

HRESULT STDMETHODCALLTYPE logmessage::AddUInt16(USHORT value) noexcept { return append_integer<std::uint16_t>(value); }
HRESULT STDMETHODCALLTYPE logmessage::AddInt16(SHORT value) noexcept { return append_integer<std::int16_t>(value); }
HRESULT STDMETHODCALLTYPE logmessage::AddUInt32(DWORD value) noexcept { return append_integer<UINT32>(value); }
HRESULT STDMETHODCALLTYPE logmessage::AddInt32(LONG value) noexcept { return append_integer<INT32>(value); }

// ULONG is a type of its own (unsigned long), so it has an argument kind of its own.
HRESULT STDMETHODCALLTYPE logmessage::AddULong(ULONG value) noexcept { return append_integer<ULONG>(value); }

// The same slot behaviour as AddInt32; one implementation serves both.
HRESULT STDMETHODCALLTYPE logmessage::AddLong(LONG value) noexcept { return logmessage::AddInt32(value); }

HRESULT STDMETHODCALLTYPE logmessage::AddUInt64(ULONGLONG value) noexcept { return append_integer<std::uint64_t>(value); }
HRESULT STDMETHODCALLTYPE logmessage::AddInt64(LONGLONG value) noexcept { return append_integer<std::int64_t>(value); }
HRESULT STDMETHODCALLTYPE logmessage::AddFloat(float value) noexcept { return append<realargument<float>>(value); }
HRESULT STDMETHODCALLTYPE logmessage::AddDouble(double value) noexcept { return append<realargument<double>>(value); }
HRESULT STDMETHODCALLTYPE logmessage::AddHex32(DWORD value) noexcept { return append_integer<ULONG>(value, 16, 8); }
HRESULT STDMETHODCALLTYPE logmessage::AddHex64(ULONGLONG value) noexcept { return append_integer<std::uint64_t>(value, 16, 16); }

HRESULT STDMETHODCALLTYPE logmessage::AddString(LPCSTR text) noexcept
{
    return text ? append<textargument>(text) : append<wtextargument>(L"(null)");
}

HRESULT STDMETHODCALLTYPE logmessage::AddWString(LPCWSTR text) noexcept
{
    return append<wtextargument>(text ? text : L"(null)");
}

HRESULT STDMETHODCALLTYPE logmessage::Reserved1() noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE logmessage::Reserved2() noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE logmessage::Reserved3() noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE logmessage::Reserved4() noexcept { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE logmessage::AddResultCode(DWORD code) noexcept
{
    ILogMessage& self = *this;
    return self.AddErrorCode(code);
}

HRESULT STDMETHODCALLTYPE logmessage::AddErrorCode(DWORD code) noexcept
{
    return com_boundary(catches::memory | catches::other, [&] {
        const std::wstring text = error_code_text(code);
        return append<wtextargument>(text.c_str());
    });
}

HRESULT STDMETHODCALLTYPE logmessage::SetIds(DWORD first, DWORD second) noexcept
{
    record_->firstid = first;
    record_->secondid = second;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE logmessage::GetFirstId(DWORD* first) noexcept
{
    *first = record_->firstid;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE logmessage::GetSecondId(DWORD* second) noexcept
{
    *second = record_->secondid;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE logmessage::SetLocation(LPCSTR file, DWORD line, LPCSTR function) noexcept
{
    return com_boundary(catches::memory | catches::other, [&] {
        // The service decides whether directories are cut off; a failed query keeps them.
        ILogService& service = source_.service();
        boolean strip = FALSE;
        if (file && SUCCEEDED(service.GetStripPaths(&strip)) && strip)
            file = file_name_part(file);
        record_->file = oem_to_wide(file);
        record_->function = oem_to_wide(function);
        record_->line = line;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE logmessage::GetLevel(DWORD* level) noexcept
{
    *level = record_->level;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE logmessage::GetFile(LPWSTR* file) noexcept { return copy_out(record_->file, file); }

HRESULT STDMETHODCALLTYPE logmessage::GetFunction(LPWSTR* function) noexcept
{
    return copy_out(record_->function, function);
}

HRESULT STDMETHODCALLTYPE logmessage::GetLine(DWORD* line) noexcept
{
    *line = record_->line;
    return S_OK;
}

} // namespace kvt
