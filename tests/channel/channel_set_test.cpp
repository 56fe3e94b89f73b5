// The drain thread over channels opened through the channel set, with a real writer thread:
// wake-up, the client's end, and the stop.

#include "channel/channel_set.h"

#include "kvtlog/record_builder.h"
#include "kvtlog/ring_writer.h"
#include "support/log_checks.h"
#include "support/processes.h"
#include "support/scratch_registry.h"

#include <gtest/gtest.h>

#include <optional>

namespace kvt::test {
namespace {

using namespace kvtlog::wire;

const std::uint32_t v1234[4] = {1, 2, 3, 4};

class channelsettest : public ::testing::Test {
protected:
    // A writer over the handles the set handed to process; they are taken back from it first
    // when it is another process.
    ringwriter client_of(HANDLE process, const channel::clienthandles& handed)
    {
        const auto take = [&](std::uint64_t value) {
            HANDLE h = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)), own = nullptr;
            EXPECT_TRUE(::DuplicateHandle(process, h, ::GetCurrentProcess(), &own, 0, FALSE,
                                          DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
            return own;
        };
        const HANDLE ring = take(handed.ring);
        shared_.reset(::MapViewOfFile(ring, FILE_MAP_WRITE, 0, 0, sizeof(ringheader)));
        ringwriter writer;
        EXPECT_TRUE(writer.open(ring, take(handed.levels), take(handed.wake)));
        return writer;
    }
    // The ring header as the client maps it, from the last client_of.
    ringheader& shared_header() const { return *static_cast<ringheader*>(shared_.get()); }
    void write(ringwriter& writer, std::uint16_t slot, int count)
    {
        for (int i = 0; i < count; ++i) {
            alignas(8) std::byte buffer[128];
            recordbuilder record(buffer, slot, 0x10);
            record.add_signed(i);
            ASSERT_TRUE(writer.write(record.record()));
        }
    }
    std::uint64_t committed() const { return read_counters(counters_).committed; }

    scratchregistry registry_;
    tempdirectory logs_;
    const bool settings_written_ = (write_default_settings(logs_.path()), true);
    logsettings settings_;
    std::optional<writerthread> writer_{std::in_place, settings_};
    std::optional<channelset> channels_{std::in_place, *writer_, settings_};
    const sourcekeyref key_ = make_sourcekey(7, v1234, L"App");
    sourcecounters counters_;
    uniqueview shared_;
};
using ChannelSet = channelsettest;

// Every record committed before the stop is written before the writer thread ends. A process
// holds four channels at most, and reaches only its own.
TEST_F(ChannelSet, TheStopDrainsEveryCommittedRecordIntoTheWriter)
{
    const auto [id, handed] = channels_->open(::GetCurrentProcessId(), 0);
    const std::uint16_t slot = channels_->add_source(id, 0, key_, counters_);
    EXPECT_THROW(channels_->add_source(id + 1, 0, key_, counters_), DWORD);
    EXPECT_THROW(channels_->add_source(id, ::GetCurrentProcessId() + 4, key_, counters_), DWORD);
    EXPECT_THROW(channels_->close(id, ::GetCurrentProcessId() + 4), DWORD);
    for (int more = 0; more < 3; ++more)
        static_cast<void>(channels_->open(::GetCurrentProcessId(), 0));
    EXPECT_THROW(channels_->open(::GetCurrentProcessId(), 0), DWORD);
    ringwriter writer = client_of(::GetCurrentProcess(), handed);
    write(writer, slot, 1000);
    channels_.reset();
    writer_.reset();
    EXPECT_EQ(read_counters(counters_).written, 1000u);
}

// A client killed with one record reserved and never committed between others: those are
// written, the hole counts as lost, and the channel's handles are all closed again.
TEST_F(ChannelSet, AKilledClientsCommittedRecordsAreWrittenItsHoleCountedLostAndItsChannelFreed)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    std::wstring command = L"\"" + this_program() + L"\" --gtest_list_tests";
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                                 &startup, &child));
    const uniquehandle process(child.hProcess), thread(child.hThread);
    // A first channel makes the thread pool that watches clients, whose handles stay.
    static_cast<void>(channels_->open(::GetCurrentProcessId(), 0));
    const auto handle_count = [] {
        DWORD n = 0;
        ::GetProcessHandleCount(::GetCurrentProcess(), &n);
        return n;
    };
    const DWORD handles_before = handle_count();
    {
        const auto [id, handed] = channels_->open(child.dwProcessId, 64);
        const std::uint16_t slot = channels_->add_source(id, 0, key_, counters_);
        ringwriter writer = client_of(process.get(), handed);
        write(writer, slot, 5);
        shared_header().reserved += 64;  // the reservation alone, as a writer makes it first
        write(writer, slot, 5);
        shared_.reset();
    }
    ASSERT_TRUE(::TerminateProcess(process.get(), 3));
    EXPECT_TRUE(wait_until([&] { return committed() == 11u; }));
    EXPECT_EQ(read_counters(counters_).lost, 1u);
    EXPECT_TRUE(wait_until([&] { return handle_count() == handles_before; })) << handle_count() - handles_before;
}

} // namespace
} // namespace kvt::test
