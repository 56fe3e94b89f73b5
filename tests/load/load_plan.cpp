#include "load/load_plan.h"

namespace kvt::test::load {

namespace {

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

struct level_choice {
    DWORD mask;
    const wchar_t* text;
};
// DEBUG together with ERROR: the line must name both.
constexpr level_choice levels[] = {{0x02, L"ERR"}, {0x04, L"WRN"}, {0x10, L"INF"}, {0x20, L"DBG"}, {0x22, L"ERR,DBG"}};

} // namespace

record_plan plan(unsigned client, unsigned thread, unsigned seq)
{
    const std::uint64_t h = mix(std::uint64_t{client} << 40 | std::uint64_t{thread} << 32 | seq);
    record_plan p;
    p.source = static_cast<unsigned>(h % source_count);
    const level_choice& level = levels[(h >> 8) % (sizeof levels / sizeof levels[0])];
    p.level = level.mask;
    p.levels = level.text;
    // Lengths from 0 to 120, so rotations cut the files at varying places.
    const unsigned length = static_cast<unsigned>((h >> 16) % 121);
    for (unsigned i = 0; i < length; ++i)
        p.tail += static_cast<char>('a' + (h >> (i % 48) ^ i) % 26);
    return p;
}

block_view::block_view(const std::wstring& name, mode m)
{
    mapping_.reset(m == create ? ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                      sizeof(shared_block), name.c_str())
                               : ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
    if (mapping_)
        view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(shared_block)));
}

std::wstring message_head(unsigned client, unsigned thread, unsigned seq)
{
    return L"c" + std::to_wstring(client) + L"t" + std::to_wstring(thread) + L"s" + std::to_wstring(seq) + L":";
}

std::wstring message_text(unsigned client, unsigned thread, unsigned seq)
{
    const std::string tail = plan(client, thread, seq).tail;
    return message_head(client, thread, seq) + std::wstring(tail.begin(), tail.end());
}

} // namespace kvt::test::load
