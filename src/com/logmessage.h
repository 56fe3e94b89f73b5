#pragma once
// The message object: one log entry under construction. Appends store raw values in the
// record; the last Release commits the record to the writer thread, which renders it.
//
// Owner: its references; the client holds the first. It holds one reference on its source
// from construction until the commit has posted the record. Threads: COM worker threads,
// several at once on one message. The record's lock guards the argument list (appends,
// and the writer while it renders); SetIds, SetLocation and the getters take no lock.

#include "com/refcounted.h"
#include "core/logrecord.h"

#include <kvtlog.h>

#include <cstdint>
#include <memory>

namespace kvt {

class logsource;

class logmessage final : public refcounted<ILogMessage, IID_ILogMessage> {
public:
    // Count 1; a new record stamped with the local time; AddRef on the source. Throws
    // std::bad_alloc, with the source untouched.
    logmessage(logsource& source, DWORD level);

    HRESULT STDMETHODCALLTYPE AddBool(boolean value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddUInt8(BYTE value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddInt8(signed char value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddChar(CHAR value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddWChar(WCHAR value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddUInt16(USHORT value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddInt16(SHORT value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddUInt32(DWORD value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddInt32(LONG value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddULong(ULONG value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddLong(LONG value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddUInt64(ULONGLONG value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddInt64(LONGLONG value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddFloat(float value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddDouble(double value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddHex32(DWORD value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddHex64(ULONGLONG value) noexcept override;
    HRESULT STDMETHODCALLTYPE AddString(LPCSTR text) noexcept override;
    HRESULT STDMETHODCALLTYPE AddWString(LPCWSTR text) noexcept override;
    HRESULT STDMETHODCALLTYPE Reserved1() noexcept override;
    HRESULT STDMETHODCALLTYPE Reserved2() noexcept override;
    HRESULT STDMETHODCALLTYPE AddResultCode(DWORD code) noexcept override;
    HRESULT STDMETHODCALLTYPE AddErrorCode(DWORD code) noexcept override;
    HRESULT STDMETHODCALLTYPE SetIds(DWORD first, DWORD second) noexcept override;
    HRESULT STDMETHODCALLTYPE GetFirstId(DWORD* first) noexcept override;
    HRESULT STDMETHODCALLTYPE GetSecondId(DWORD* second) noexcept override;
    HRESULT STDMETHODCALLTYPE SetLocation(LPCSTR file, DWORD line, LPCSTR function) noexcept override;
    HRESULT STDMETHODCALLTYPE GetLevel(DWORD* level) noexcept override;
    HRESULT STDMETHODCALLTYPE GetFile(LPWSTR* file) noexcept override;
    HRESULT STDMETHODCALLTYPE GetFunction(LPWSTR* function) noexcept override;
    HRESULT STDMETHODCALLTYPE GetLine(DWORD* line) noexcept override;
    HRESULT STDMETHODCALLTYPE Reserved3() noexcept override;
    HRESULT STDMETHODCALLTYPE Reserved4() noexcept override;

private:
    // The commit, reached only through the last Release: posts the record to the writer
    // (dropping and counting it when the writer cannot be reached), then releases the source.
    ~logmessage() override;

    // Makes an argument of the kind and links it at the end of the list.
    template <class Kind, class... Args>
    HRESULT append(const Args&... args) noexcept;

    template <class T>
    HRESULT append_integer(T value, std::uint8_t radix = 10, std::uint16_t min_digits = 0) noexcept;

    void post_record() noexcept;

    logsource& source_;
    std::unique_ptr<logrecord> record_;
};

} // namespace kvt
