#pragma once
// The size limit of a source id: the settings store keeps it, the registry holds it and
// the writer rotates by it.

#include <cstdint>

namespace kvt {

#pragma pack(push, 1)
// 5 bytes in memory as in the registry.
struct limitrecord {
    std::uint32_t size_kib;  // the current file is rotated once it holds this many KiB; 0: no limit
    std::uint8_t files;      // files kept per source, the current one included; 0: no rotation
    friend bool operator==(const limitrecord&, const limitrecord&) = default;
};
#pragma pack(pop)
static_assert(sizeof(limitrecord) == 5);

inline constexpr limitrecord builtin_limit{2048, 3};

} // namespace kvt
