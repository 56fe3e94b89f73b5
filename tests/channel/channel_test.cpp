// One channel opened for this process, written through the client's writer and drained by
// hand: order, exact drops, holes, level masks, and a client that writes garbage.

#include "channel/channel.h"

#include "channel/channel_drain.h"
#include "kvtlog/record_builder.h"
#include "kvtlog/ring_writer.h"
#include "support/scratch_registry.h"
#include "support/temp_directory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace kvt::test {
namespace {

using namespace kvtlog::wire;

const std::uint32_t v1234[4] = {1, 2, 3, 4};

class channeltest : public ::testing::Test {
protected:
    channeltest()
    {
        write_default_settings(logs_.path());
        settings_.emplace();
        channel_.emplace(::GetCurrentProcessId(), min_ring_bytes, wake_.get(), handed_);
        slot_ = channel_->add_source(key_, counters_, *settings_);
    }
    // Maps the ring section for the test too, as a hostile client would, then lets the writer
    // take the handles.
    void open_writer()
    {
        HANDLE own = nullptr;
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), as_handle(handed_.ring), ::GetCurrentProcess(), &own, 0,
                                      FALSE, DUPLICATE_SAME_ACCESS));
        const uniquehandle section(own);
        shared_.reset(::MapViewOfFile(section.get(), FILE_MAP_WRITE, 0, 0, 0));
        ASSERT_TRUE(shared_);
        ASSERT_TRUE(writer_.open(as_handle(handed_.ring), as_handle(handed_.levels), as_handle(handed_.wake)));
    }
    ringheader& header() const { return *static_cast<ringheader*>(shared_.get()); }
    static HANDLE as_handle(std::uint64_t value) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)); }

    // Writes a record holding the number; false when the ring was full.
    bool write(std::uint64_t number, std::size_t padding = 0)
    {
        alignas(8) std::byte buffer[512];
        recordbuilder record(buffer, slot_, 0x10);
        record.add_unsigned(number);
        record.add_oem(std::string(padding, 'p'));
        return writer_.write(record.record());
    }
    // The value texts of the records one pass drains.
    std::vector<std::wstring> drain(drainpass pass = {1u << 20, false, 0})
    {
        recordbatch batch;
        drain_channel(*channel_, pass, batch, copy_);
        std::vector<std::wstring> texts;
        for (const batchrecord& r : batch.records()) {
            std::wstring line;
            batch.render(r, line);
            texts.push_back(line.substr(line.rfind(L'|') + 1));
        }
        return texts;
    }
    static std::vector<std::wstring> numbers(std::uint64_t from, std::uint64_t to)
    {
        std::vector<std::wstring> texts;
        for (std::uint64_t i = from; i < to; ++i)
            texts.push_back(std::to_wstring(i) + L"\r\n");
        return texts;
    }

    scratchregistry registry_;
    tempdirectory logs_;
    std::optional<logsettings> settings_;
    uniquehandle wake_{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    channel::clienthandles handed_{};
    std::optional<channel> channel_;
    const sourcekeyref key_ = make_sourcekey(7, v1234, L"App");
    sourcecounters counters_;
    std::uint16_t slot_ = 0;
    ringwriter writer_;
    uniqueview shared_;
    std::vector<std::byte> copy_;
};
using Channel = channeltest;

// Four threads write into one 64 KiB ring, many laps of it, while it is drained: each record
// arrives once, in its thread's order, or was refused and counted ring full.
TEST_F(Channel, ConcurrentWritersRecordsArriveOnceInTheirOrderOrAreCountedRingFull)
{
    open_writer();
    constexpr int threads = 4, each = 5000;
    std::atomic<int> running{threads};
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < each; ++i)
                if (!write(t * 1'000'000ull + i, t * 20))  // lengths differ, so records end anywhere
                    std::this_thread::yield();
            --running;
        });
    std::vector<long long> last(threads, -1);
    std::uint64_t arrived = 0;
    for (bool done = false; !done;) {
        done = running == 0;  // read before the pass: the last pass sees every record
        for (const std::wstring& text : drain()) {
            const unsigned long long n = std::stoull(text);
            EXPECT_GT(static_cast<long long>(n % 1'000'000), last[n / 1'000'000]) << n;
            last[n / 1'000'000] = n % 1'000'000;
            ++arrived;
        }
    }
    for (std::thread& w : writers)
        w.join();
    EXPECT_GT(arrived, 2 * min_ring_bytes / 72);  // two laps of the shortest records
    EXPECT_EQ(arrived + read_counters(counters_).ringfull, std::uint64_t{threads * each});
}

// A record reserved and never committed, as by a thread that died in the middle: the records
// after it wait while it may still come, and are drained once the hole has stood for the
// timeout (or the client has ended: see ChannelSet); the hole counts as one lost record.
TEST_F(Channel, AHoleHoldsBackLaterRecordsUntilItIsSkippedAndCountedLost)
{
    open_writer();
    // The hole: the reservation alone, as the writer makes it before it writes.
    header().reserved += 64;
    for (std::uint64_t i = 0; i < 3; ++i)
        ASSERT_TRUE(write(i));
    EXPECT_TRUE(drain({100, false, 1000}).empty());
    EXPECT_TRUE(drain({100, false, 1000 + hole_timeout_ms - 1}).empty());
    EXPECT_EQ(drain({100, false, 1000 + hole_timeout_ms}), numbers(0, 3));
    EXPECT_EQ(read_counters(counters_).lost, 1u);
}

// The client reads a source's mask with one load, and sees a change once it is published.
// It cannot write the masks: its handle maps the level section for reading only, and cannot
// be duplicated into one with more access.
TEST_F(Channel, LevelMasksArePublishedPerSlotAndTheClientCannotWriteThem)
{
    HANDLE more = nullptr;
    EXPECT_FALSE(::DuplicateHandle(::GetCurrentProcess(), as_handle(handed_.levels), ::GetCurrentProcess(), &more,
                                   FILE_MAP_READ | FILE_MAP_WRITE, FALSE, 0));
    EXPECT_EQ(uniqueview(::MapViewOfFile(as_handle(handed_.levels), FILE_MAP_WRITE, 0, 0, 0)).get(), nullptr);
    open_writer();
    const std::uint16_t other = channel_->add_source(make_sourcekey(8, v1234, L"App"), counters_, *settings_);
    EXPECT_EQ(channel_->add_source(make_sourcekey(7, v1234, L"App"), counters_, *settings_), slot_);
    EXPECT_NE(other, slot_);
    EXPECT_EQ(writer_.level(slot_), 0xFFFFFFFFu);
    ASSERT_TRUE(settings_->set_level(7, 0x12));
    channel_->publish_levels(*settings_);
    EXPECT_EQ(writer_.level(slot_), 0x12u);
    EXPECT_EQ(writer_.level(other), 0xFFFFFFFFu);
}

// A client that writes garbage anywhere in its ring section between honest records: lengths,
// positions, commit words that locate themselves, values. The drain neither crashes nor
// hangs, every record it lets through is of a source the client added, and an honest
// client's channel drained in the same passes gives each of its records exactly.
TEST_F(Channel, GarbageInTheRingSectionNeverLetsARecordOfAnotherSourceThrough)
{
    open_writer();
    const sourcekeyref other = make_sourcekey(8, v1234, L"Other");
    channel_->add_source(other, counters_, *settings_);
    std::mt19937_64 random(14);
    auto* words = static_cast<std::uint64_t*>(shared_.get());
    const auto ring_word = [&](std::uint64_t position) -> std::uint64_t& {
        return words[(ring_offset + (position & (min_ring_bytes - 1))) / 8];
    };
    channel::clienthandles handed{};
    channel honest(::GetCurrentProcessId(), min_ring_bytes, wake_.get(), handed);
    const sourcekeyref honest_key = make_sourcekey(9, v1234, L"Honest");
    const std::uint16_t honest_slot = honest.add_source(honest_key, counters_, *settings_);
    ringwriter honest_writer;
    ASSERT_TRUE(honest_writer.open(as_handle(handed.ring), as_handle(handed.levels), as_handle(handed.wake)));
    std::vector<std::wstring> honest_texts;
    std::size_t passed = 0;
    for (int round = 0; round < 3000; ++round) {
        alignas(8) std::byte honest_buffer[64];
        recordbuilder honest_record(honest_buffer, honest_slot, 0x10);
        honest_record.add_signed(round);
        ASSERT_TRUE(honest_writer.write(honest_record.record()));
        switch (random() % 10) {
        default:
            write(random() % 1000, random() % 300);
            break;
        case 1:
            words[random() % ((ring_offset + min_ring_bytes) / 8)] = random();
            break;
        case 2: {  // a commit word where the drain may look next, and a length after it
            const std::uint64_t at = header().reserved - 8 * (random() % 64);
            ring_word(at) = at;
            ring_word(at + 8) = random() % 2 ? random() : random() % 512 * 8 | random() << 32;
            break;
        }
        case 3:
            (random() % 2 ? header().reserved : header().drained) += random() % 8 ? 8 * (random() % 64) : random();
            break;
        case 4: {  // an honest record with bytes changed after its commit word
            alignas(8) std::byte buffer[512];
            recordbuilder record(buffer, slot_, 0x10);
            record.add_wide(L"text");
            record.add_signed(-5);
            const std::span<std::byte> bytes = record.record();
            bytes[8 + random() % (bytes.size() - 8)] = static_cast<std::byte>(random());
            writer_.write(bytes);
            break;
        }
        }
        recordbatch batch;
        drain_channel(*channel_, {64, random() % 8 == 0, random() % 20000}, batch, copy_);
        for (const batchrecord& r : batch.records()) {
            EXPECT_TRUE(r.key.get() == key_.get() || r.key.get() == other.get());
            std::wstring line;
            batch.render(r, line);
        }
        passed += batch.records().size();
        recordbatch honest_batch;
        drain_channel(honest, {64, false, 0}, honest_batch, copy_);
        for (const batchrecord& r : honest_batch.records()) {
            std::wstring line;
            honest_batch.render(r, line);
            honest_texts.push_back(line.substr(line.rfind(L'|') + 1));
        }
    }
    EXPECT_GT(passed, 100u);
    EXPECT_EQ(honest_texts, numbers(0, 3000));
}

} // namespace
} // namespace kvt::test
