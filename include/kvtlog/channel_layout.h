#pragma once
// The record channel's shared memory: what lies where, who writes it, who reads it, and the
// protocol between one client process (many threads) and the server's drain thread.
//
// The client library and the server both build on this header. Every field has a fixed width and every offset is asserted below; positions are 64 bits
// wide and never wrap.
//
// Two sections, both created by the server and handed to the client with DuplicateHandle:
//
// 1. The level section (level_section_bytes), mapped read-only by the client. It is created
//    with a DACL that grants nobody more than reading, so the client cannot duplicate its
//    handle into a writable one (on Wine too: a section handle can be duplicated with more
//    access only when the DACL allows it). levels[slot] is the level mask in force for the
//    source id of the slot. The server writes a slot when the source is added and again
//    whenever a level changes, before SetLevel returns; the client reads it once per
//    statement (acquire). A slot the server never filled reads 0: nothing is enabled.
//
// 2. The ring section (ring_section_bytes(ring_bytes)), mapped read-write by both:
//    - ringheader, page 0. Line "geometry": written by the server before the handles are
//      handed over; the client reads it; the server never reads it back (its own copy of
//      the geometry is fixed at open). Line "writers": the client's threads. Line "drain":
//      the server writes, the client reads.
//    - ringfull[slot], page 1: the number of records of the slot that a client thread has
//      dropped because the ring was full, raised by the client (atomic add), read by the
//      server, which counts the increase since its previous read (clamped, never trusted
//      to go down).
//    - the ring, from ring_offset, ring_bytes long (a power of two, at least 64 KiB).
//
// Positions. An absolute position p lives at ring offset p & (ring_bytes - 1). Positions
// start at first_position (not 0, so that the zero words of a fresh section never read as
// committed) and only grow. Every record starts at a multiple of 8 and its length is a
// multiple of 8, so a record's first word never straddles the ring's end; the rest of a
// record may wrap around it.
//
// Writing a record (client thread):
//   1. Reserve: r = reserved; if r + bytes - drained > ring_bytes the ring is full: drop the
//      record and raise ringfull[slot]; else compare-exchange reserved from r to r + bytes.
//   2. Write the record at r, commit word excepted.
//   3. Commit: store r into the commit word (release). The word is the record's own absolute
//      position: a word left from an earlier lap holds an older position, so it never
//      passes for a fresh commit, and a reader can find the next record after a hole.
//   4. Wake: full fence, then SetEvent(wake event) if sleeping is set, or if the record takes
//      the ring past a quarter full (as of the drained position it saw): a drain thread that
//      lingers looks only every few milliseconds, and the ring must not fill meanwhile.
//
// Draining (the server's drain thread, its position d kept in its own memory):
//   - While the commit word at d equals d: copy the record head out, check its length
//     against the geometry the server fixed at open, copy the whole record out, advance d,
//     and only then parse the copy. Publish drained = d (release) after each pass, so that
//     writers reuse only space that has been copied.
//   - A hole (the word at d is not d while reserved lies beyond d) is a record reserved and
//     not committed yet: its writer is slow, or died. Once the client process has ended (or
//     the hole has stood for hole_timeout_ms), the server scans forward word by word up to
//     reserved (clamped to d + ring_bytes) for a word equal to its own position, resumes
//     there and counts the hole as one lost record. A writer that was only slow and commits
//     after its hole was skipped may spoil records written since in the same space: those
//     fail the checks and count as lost too.
//   - Lingering: after a pass that found records the drain thread looks again every few
//     milliseconds for a while, without the flag, so that writers set no event.
//   - Sleeping: set sleeping = 1, full fence, look at every commit word once more, and only
//     if nothing is committed wait on the wake event, at most channel_wait_ms; then
//     sleeping = 0. A lost wake-up therefore delays a record by at most channel_wait_ms.
//
// Everything the client can write is hostile to the server: lengths, kinds, counts, slots and
// positions are checked on the server's private copy, and a record that fails a check is
// dropped and counted lost for its slot (or not counted, when even the slot is bad).

#include <cstddef>
#include <cstdint>

namespace kvtlog::wire {

inline constexpr std::uint32_t channel_magic = 0x4C4E4843;  // "CHNL"
inline constexpr std::uint32_t channel_layout_version = 1;

// Sources one channel can carry; a process that registers more logs the rest through COM.
inline constexpr std::uint32_t channel_max_sources = 512;

inline constexpr std::uint64_t page_bytes = 4096;
inline constexpr std::uint64_t level_section_bytes = page_bytes;  // channel_max_sources masks
inline constexpr std::uint64_t ringfull_offset = page_bytes;
inline constexpr std::uint64_t ring_offset = 2 * page_bytes;
static_assert(channel_max_sources * sizeof(std::uint32_t) <= level_section_bytes);
static_assert(channel_max_sources * sizeof(std::uint64_t) <= ring_offset - ringfull_offset);

inline constexpr std::uint64_t min_ring_bytes = 64 * 1024;
inline constexpr std::uint64_t default_ring_bytes = 256 * 1024;
inline constexpr std::uint64_t max_ring_bytes = 64 * 1024 * 1024;

constexpr std::uint64_t ring_section_bytes(std::uint64_t ring_bytes) noexcept { return ring_offset + ring_bytes; }

// The largest record the server takes: a quarter of the ring, at most 64 KiB.
constexpr std::uint32_t max_record_bytes(std::uint64_t ring_bytes) noexcept
{
    return static_cast<std::uint32_t>(ring_bytes / 4 < 65536 ? ring_bytes / 4 : 65536);
}

// The first position of a fresh ring: not 0, which every untouched word holds.
inline constexpr std::uint64_t first_position = 8;

// The drain thread's bound on every wait, and how long a hole may stand in a live client's
// ring before the server skips it.
inline constexpr unsigned long channel_wait_ms = 100;
inline constexpr unsigned long hole_timeout_ms = 5000;

struct ringheader {
    // Geometry: the server, once, before the client gets the section.
    std::uint32_t magic;
    std::uint32_t layout_version;
    std::uint64_t ring_bytes;
    std::uint32_t max_record_bytes;
    std::uint32_t max_sources;
    std::uint8_t geometry_pad[40];
    // Writers: every client thread (compare-exchange); the server reads it only as a bound
    // for skipping a hole.
    std::uint64_t reserved;
    std::uint8_t writers_pad[56];
    // Drain: the server writes, client threads read.
    std::uint64_t drained;   // every position below is copied out and free again
    std::uint32_t sleeping;  // 1 while the drain thread is about to wait or waiting
    std::uint8_t drain_pad[52];
};
static_assert(sizeof(ringheader) == 192);
static_assert(offsetof(ringheader, reserved) == 64);
static_assert(offsetof(ringheader, drained) == 128);
static_assert(offsetof(ringheader, sleeping) == 136);

// Kinds of values. Every C++ value of the client library maps to one of them the way the COM
// methods map it (bool to the wide text "true"/"false", char to a one-byte OEM text, a null
// text to the wide text "(null)"), so that both roads give the same line.
enum class wirekind : std::uint8_t {
    signedint = 1,    // 8-byte payload, two's complement; radix and min_digits apply
    unsignedint = 2,  // 8-byte payload; radix and min_digits apply
    real = 3,         // 8-byte payload, an IEEE double (a float widened)
    widetext = 4,     // length UTF-16 code units, no NUL
    oemtext = 5,      // length bytes in the OEM code page, no NUL
    errorcode = 6,    // 8-byte payload, the low 32 bits a Win32 code or HRESULT: the server
                      // adds its text as the COM method does
};

// Marks a location text that the statement does not have.
inline constexpr std::uint16_t no_location_text = 0xFFFF;

// One record: the head, then the file's and the function's OEM bytes (no NUL) padded
// together to a multiple of 8, then `values` values, each a valuehead and its payload padded
// to a multiple of 8.
struct recordhead {
    std::uint64_t commit;  // the record's own position; written last, with release
    std::uint32_t bytes;   // the whole record, head included, a multiple of 8
    std::uint16_t slot;    // the source, numbered by the server when the client added it
    std::uint16_t values;
    std::uint64_t time;    // the client's clock at the statement: a FILETIME, UTC
    std::uint32_t level;
    std::uint32_t firstid;
    std::uint32_t secondid;
    std::uint32_t line;
    std::uint16_t file_bytes;      // or no_location_text
    std::uint16_t function_bytes;  // or no_location_text
    std::uint32_t reserved;        // 0
};
static_assert(sizeof(recordhead) == 48);

struct valuehead {
    wirekind kind;
    std::uint8_t radix;        // integers: 2 to 36
    std::uint16_t min_digits;  // integers: at most 255
    std::uint32_t length;      // texts: code units; other kinds: 0
};
static_assert(sizeof(valuehead) == 8);

constexpr std::uint64_t padded8(std::uint64_t bytes) noexcept { return (bytes + 7) & ~std::uint64_t{7}; }

} // namespace kvtlog::wire
