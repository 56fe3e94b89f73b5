#include "channel/channel_record.h"

#include "kvtlog/channel_layout.h"
#include "core/error_text.h"
#include "core/file_name.h"
#include "core/oem_text.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

namespace kvt {

using namespace kvtlog::wire;

namespace {

template <class T>
T read_as(const std::byte* at) noexcept
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// The values of a record, one after the other, each checked against the end of the copy.
class valuecursor {
public:
    valuecursor(std::span<const std::byte> copy, std::size_t at) noexcept : copy_(copy), at_(at) {}

    // The next value's head and payload, or false when it does not fit or fails a check.
    bool next(valuehead& head, std::span<const std::byte>& payload) noexcept
    {
        if (copy_.size() - at_ < sizeof(valuehead))
            return false;
        head = read_as<valuehead>(copy_.data() + at_);
        std::uint64_t bytes = 8;
        switch (head.kind) {
        case wirekind::signedint:
        case wirekind::unsignedint:
            if (head.radix < 2 || head.radix > 36 || head.min_digits > 255)
                return false;
            break;
        case wirekind::real:
        case wirekind::errorcode:
            break;
        case wirekind::widetext:
            bytes = std::uint64_t{head.length} * sizeof(wchar_t);
            break;
        case wirekind::oemtext:
            bytes = head.length;
            break;
        default:
            return false;
        }
        const std::size_t start = at_ + sizeof(valuehead);
        if (padded8(bytes) > copy_.size() - start)
            return false;
        payload = copy_.subspan(start, static_cast<std::size_t>(bytes));
        at_ = start + static_cast<std::size_t>(padded8(bytes));
        return true;
    }

private:
    std::span<const std::byte> copy_;
    std::size_t at_;
};

// The location text, converted as SetLocation converts it; null for none.
std::unique_ptr<wchar_t[]> location_text(std::span<const std::byte> bytes, bool none, bool file)
{
    if (none)
        return nullptr;
    const std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return oem_to_wide(file ? file_name_part(text.c_str()) : text.c_str());
}

void add_value(const valuehead& head, std::span<const std::byte> payload, recordbatch& batch)
{
    switch (head.kind) {
    case wirekind::signedint:
        return batch.add_signed(read_as<std::int64_t>(payload.data()), head.radix, head.min_digits);
    case wirekind::unsignedint:
        return batch.add_unsigned(read_as<std::uint64_t>(payload.data()), head.radix, head.min_digits);
    case wirekind::real:
        return batch.add_real(read_as<double>(payload.data()));
    case wirekind::errorcode:
        return batch.add_wide(error_code_text(static_cast<DWORD>(read_as<std::uint64_t>(payload.data()))));
    case wirekind::widetext: {
        std::wstring text(payload.size() / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), payload.data(), payload.size());
        return batch.add_wide(text);
    }
    case wirekind::oemtext:
        return batch.add_oem({reinterpret_cast<const char*>(payload.data()), payload.size()});
    }
}

} // namespace

const channelsource* record_source(std::span<const std::byte> copy, std::span<const channelsource> sources) noexcept
{
    if (copy.size() < sizeof(recordhead))
        return nullptr;
    const auto head = read_as<recordhead>(copy.data());
    return head.slot < sources.size() ? &sources[head.slot] : nullptr;
}

bool add_record_copy(std::span<const std::byte> copy, std::span<const channelsource> sources,
                     std::uint32_t process_id, recordbatch& batch)
{
    const channelsource* source = record_source(copy, sources);
    if (!source)
        return false;
    const auto head = read_as<recordhead>(copy.data());
    if (head.bytes != copy.size() || head.bytes % 8 != 0)
        return false;

    // The location texts lie together right after the head.
    const std::size_t file_bytes = head.file_bytes == no_location_text ? 0 : head.file_bytes;
    const std::size_t function_bytes = head.function_bytes == no_location_text ? 0 : head.function_bytes;
    const std::size_t texts_end = sizeof(recordhead) + static_cast<std::size_t>(padded8(file_bytes + function_bytes));
    if (texts_end > copy.size())
        return false;

    // Every value is checked before the record goes into the batch.
    valuehead value{};
    std::span<const std::byte> payload;
    valuecursor check(copy, texts_end);
    for (unsigned i = 0; i < head.values; ++i)
        if (!check.next(value, payload))
            return false;

    FILETIME utc{static_cast<DWORD>(head.time), static_cast<DWORD>(head.time >> 32)}, local{};
    SYSTEMTIME time{};
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &time))
        return false;

    const auto file = location_text(copy.subspan(sizeof(recordhead), file_bytes), head.file_bytes == no_location_text, true);
    const auto function = location_text(copy.subspan(sizeof(recordhead) + file_bytes, function_bytes),
                                        head.function_bytes == no_location_text, false);
    batch.add_record(source->key, *source->counters, head.level, time, head.firstid, head.secondid, file.get(),
                     head.line, function.get(), process_id);
    valuecursor add(copy, texts_end);
    for (unsigned i = 0; i < head.values; ++i) {
        add.next(value, payload);
        add_value(value, payload, batch);
    }
    return true;
}

} // namespace kvt
