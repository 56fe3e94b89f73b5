// kvtlogctl stats: what became of the records of each source id since the server started,
// as a table with one row per id, the totals, and the records queued now.

#include "kvtlogctl/arguments.h"
#include "kvtlogctl/commands.h"
#include "kvtlogctl/failure.h"
#include "core/sourcekey.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace kvt::ctl {

namespace {

constexpr std::size_t counts = 10;
using row = std::array<std::wstring, counts + 1>;
using numbers = std::array<ULONGLONG, counts>;

const row heading = {L"source",  L"committed", L"written",   L"bytes", L"rotations", L"suspended",
                     L"no file", L"refused",   L"ring full", L"lost",  L"queued"};

numbers numbers_of(const LogCounters& c)
{
    return {c.committed,        c.written,       c.bytes,          c.rotations,       c.droppedSuspended,
            c.droppedNoFile,    c.droppedRefused, c.droppedRingFull, c.droppedLost,   c.queued};
}

row counters_row(std::wstring label, const numbers& values)
{
    row r{std::move(label)};
    for (std::size_t i = 0; i < counts; ++i)
        r[i + 1] = std::to_wstring(values[i]);
    return r;
}

// The label left-aligned, the numbers right-aligned, two blanks between the columns.
void print_table(const console& con, const std::vector<row>& rows)
{
    std::array<std::size_t, counts + 1> width{};
    for (const row& r : rows)
        for (std::size_t i = 0; i < r.size(); ++i)
            width[i] = std::max(width[i], r[i].size());
    for (const row& r : rows) {
        std::wstring line = r[0] + std::wstring(width[0] - r[0].size(), L' ');
        for (std::size_t i = 1; i < r.size(); ++i)
            line += std::wstring(width[i] - r[i].size() + 2, L' ') + r[i];
        con.out(line);
    }
}

void run_stats(context& ctx, const arguments& args)
{
    if (args.size() > 1)
        throw usageerror{L"too many arguments"};
    // One id, or every id from the lowest; "default" names the id of the default settings.
    const bool one = !args.empty();
    const DWORD first = one ? read_source_id(ctx.service, args[0]).value_or(default_source_id) : 0;
    std::vector<row> rows{heading};
    numbers total{};
    LogCounters forwarding{};
    for (DWORD from = first;;) {
        const auto found = ctx.service.counters(from);
        if (!found || (one && found->first != first))
            break;
        const numbers values = numbers_of(found->second);
        rows.push_back(counters_row(source_id_label(ctx.service, found->first), values));
        for (std::size_t i = 0; i < counts; ++i)
            total[i] += values[i];
        forwarding.forwarded += found->second.forwarded;
        forwarding.forwardFull += found->second.forwardFull;
        forwarding.forwardLost += found->second.forwardLost;
        if (found->first == default_source_id)
            break;
        from = found->first + 1;
    }
    if (!one)
        rows.push_back(counters_row(L"total", total));
    print_table(ctx.con, rows);
    ctx.con.out(L"queued now: " + std::to_wstring(total[counts - 1]));
    if (forwarding.forwarded || forwarding.forwardFull || forwarding.forwardLost)
        ctx.con.out(L"forwarded: " + std::to_wstring(forwarding.forwarded) + L"; dropped from forwarding: " +
                    std::to_wstring(forwarding.forwardFull) + L" (queue full), " +
                    std::to_wstring(forwarding.forwardLost) + L" (not sent)");
}

} // namespace

const command stats_command{
    L"stats", L"  stats [ID]                  show what became of the records of each source id",
    L"usage: kvtlogctl stats [ID]\n"
    L"\n"
    L"Shows, for each source id (or for ID) since the service started: the records committed\n"
    L"by clients; those written to the id's files and their bytes; how often a file was\n"
    L"rotated; the records dropped while writing was suspended, for want of a file, because\n"
    L"the writer's queue refused them, because a client's record ring was full, or lost with a\n"
    L"client that died; and those still queued. Without ID, the totals follow. Once records\n"
    L"have been forwarded or dropped from forwarding, a last line counts them.",
    true, run_stats};

} // namespace kvt::ctl
