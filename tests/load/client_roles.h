#pragma once
// The roles the test executable takes when it is started with one of these switches
// instead of running tests; each returns the process's exit code.

namespace kvt::test {

// <client index> <shared block name>: logs one client's share of the load.
inline constexpr char load_client_switch[] = "--load-client";
int run_load_client(unsigned client, const wchar_t* block_name);

// <ready event name>: takes sources and half-built messages, sets the event, and waits to
// be terminated.
inline constexpr char victim_switch[] = "--victim";
int run_victim(const wchar_t* ready_event);

} // namespace kvt::test
