#pragma once
// Many records for the writer in one payload (WM_LOGBATCH), as the record channel hands them
// over: each record with its source key and its id's counters, its values packed in the
// batch's own arrays. Making and freeing a batch takes a few allocations, however many
// records and values it holds. The writer renders each record to the same line as a message
// object's record of the same content: the values go through the same renderers.
//
// Owner: whoever fills it, until a successful post hands it to the writer thread.

#include "core/sourcekey.h"
#include "writer/counters.h"
#include "writer/line_format.h"

#include <windows.h>

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvt {

enum class valuekind : std::uint8_t { signedint, unsignedint, real, widetext, oemtext };

struct batchvalue {
    valuekind kind;
    std::uint8_t radix;        // integers
    std::uint16_t min_digits;  // integers
    union {
        std::int64_t signedint;
        std::uint64_t unsignedint;
        double real;
        std::size_t text;  // where the NUL-terminated text starts in the batch's texts
    };
};

// Where a record's values and texts lie in its batch.
struct batchrecord {
    static constexpr std::size_t no_text = std::numeric_limits<std::size_t>::max();

    sourcekeyref key;
    sourcecounters* counters;
    std::uint32_t level;
    SYSTEMTIME time;
    std::uint32_t firstid;
    std::uint32_t secondid;
    std::size_t file;  // in the wide texts; no_text: none
    std::uint32_t line;
    std::size_t function;
    std::size_t first_value;
    std::size_t values;
    std::uint32_t process_id;  // the client's; 0: not known
};

class recordbatch {
public:
    // Starts a record; the values added next belong to it. Every add throws std::bad_alloc.
    void add_record(sourcekeyref key, sourcecounters& counters, std::uint32_t level, const SYSTEMTIME& time,
                    std::uint32_t firstid, std::uint32_t secondid, const wchar_t* file, std::uint32_t line,
                    const wchar_t* function, std::uint32_t process_id = 0);
    void add_signed(std::int64_t value, std::uint8_t radix = 10, std::uint16_t min_digits = 0);
    void add_unsigned(std::uint64_t value, std::uint8_t radix = 10, std::uint16_t min_digits = 0);
    void add_real(double value);
    void add_wide(std::wstring_view text);  // up to its first NUL
    void add_oem(std::string_view text);

    std::span<const batchrecord> records() const noexcept { return records_; }

    // The fields of the record's header; its texts stay the batch's.
    lineheader header(const batchrecord& record) const noexcept;

    // Appends the record's whole line. Throws std::bad_alloc; out may then hold part of it.
    void render(const batchrecord& record, std::wstring& out) const;

private:
    std::size_t add_wide_text(std::wstring_view text);
    void add_value(const batchvalue& value);

    std::vector<batchrecord> records_;
    std::vector<batchvalue> values_;
    std::wstring wide_;  // NUL-terminated texts, one after the other
    std::string oem_;
};

} // namespace kvt
