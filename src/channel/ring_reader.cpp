#include "channel/ring_reader.h"

#include <atomic>
#include <cstring>

namespace kvt {

using namespace kvtlog::wire;

namespace {

std::atomic_ref<std::uint64_t> shared64(std::byte* at) noexcept
{
    return std::atomic_ref<std::uint64_t>(*reinterpret_cast<std::uint64_t*>(at));
}

ringheader& header_of(std::byte* section) noexcept { return *reinterpret_cast<ringheader*>(section); }

} // namespace

ringreader::ringreader(std::byte* section, std::uint64_t ring_bytes) noexcept
    : section_(section), ring_(section + ring_offset), mask_(ring_bytes - 1), max_record_(max_record_bytes(ring_bytes)),
      ringfull_seen_(channel_max_sources, 0)
{
}

std::uint64_t ringreader::word_at(std::uint64_t position) const noexcept
{
    return shared64(ring_ + (position & mask_)).load(std::memory_order_acquire);
}

void ringreader::copy_out(std::uint64_t position, std::byte* to, std::size_t bytes) const noexcept
{
    const std::size_t at = static_cast<std::size_t>(position & mask_);
    const std::size_t first = bytes < mask_ + 1 - at ? bytes : static_cast<std::size_t>(mask_ + 1 - at);
    std::memcpy(to, ring_ + at, first);
    std::memcpy(to + first, ring_, bytes - first);
}

bool ringreader::committed() const noexcept { return word_at(position_) == position_; }

ringreader::readresult ringreader::read(std::vector<std::byte>& copy)
{
    if (!committed())
        return readresult::none;
    recordhead head;
    copy_out(position_, reinterpret_cast<std::byte*>(&head), sizeof head);
    if (head.bytes < sizeof head || head.bytes > max_record_ || head.bytes % 8 != 0)
        return readresult::unreadable;
    copy.resize(head.bytes);
    copy_out(position_, copy.data(), head.bytes);
    // The client may have changed the length since: the copy's own head is what counts.
    std::memcpy(copy.data() + offsetof(recordhead, bytes), &head.bytes, sizeof head.bytes);
    position_ += head.bytes;
    return readresult::record;
}

std::optional<std::uint16_t> ringreader::skip() noexcept
{
    // The reserved position bounds the scan: past it nothing can be committed. A committed
    // word that the client's own reserved position denies is passed by one word, so that
    // the drain never stays on it.
    std::uint64_t end = reserved();
    if (end <= position_) {
        if (!committed())
            return std::nullopt;
        end = position_ + 8;
    }
    recordhead head;
    copy_out(position_, reinterpret_cast<std::byte*>(&head), sizeof head);
    std::uint64_t next = position_ + 8;
    while (next < end && word_at(next) != next)
        next += 8;
    position_ = next;
    return head.slot;
}

// Clamped to one lap past the position: the value is the client's.
std::uint64_t ringreader::reserved() const noexcept
{
    const std::uint64_t end = shared64(reinterpret_cast<std::byte*>(&header_of(section_).reserved)).load(std::memory_order_acquire);
    if (end <= position_)
        return position_;
    return end - position_ > mask_ + 1 ? position_ + mask_ + 1 : end;
}

bool ringreader::stalled(std::uint64_t now) noexcept
{
    if (committed() || reserved() == position_) {
        stall_position_ = 0;
        return false;
    }
    if (stall_position_ != position_) {
        stall_position_ = position_;
        stall_since_ = now;
    }
    return now - stall_since_ >= hole_timeout_ms;
}

void ringreader::publish() const noexcept
{
    shared64(reinterpret_cast<std::byte*>(&header_of(section_).drained)).store(position_, std::memory_order_release);
}

void ringreader::set_sleeping(bool sleeping) const noexcept
{
    std::atomic_ref<std::uint32_t>(header_of(section_).sleeping).store(sleeping ? 1 : 0, std::memory_order_seq_cst);
}

std::uint64_t ringreader::ringfull_increase(std::uint16_t slot) noexcept
{
    if (slot >= ringfull_seen_.size())
        return 0;
    const std::uint64_t now = shared64(section_ + ringfull_offset + slot * sizeof(std::uint64_t)).load(std::memory_order_acquire);
    // A counter that went down is the client's doing: nothing more counts until it passes
    // the highest value seen.
    if (now <= ringfull_seen_[slot])
        return 0;
    const std::uint64_t increase = now - ringfull_seen_[slot];
    ringfull_seen_[slot] = now;
    return increase;
}

} // namespace kvt
