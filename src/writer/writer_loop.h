#pragma once
// The body of the writer thread: its message queue, its file table and the messages that
// reach it.

#include "settings/log_settings.h"
#include "writer/forward_queue.h"

#include <windows.h>

namespace kvt {

// Creates the thread's message queue, sets start_event, then handles messages until
// WM_QUIT (result 0) or a failing GetMessageW (result 0xFFFFFFFF); every file is closed on
// the way out. Whatever escapes the handling of a message (std::bad_alloc, or what an
// argument's render throws) leaves the loop after the files have been closed; the payload
// of that message is destroyed all the same. forward, when not null, is offered every
// record written whose level it forwards.
DWORD run_writer_loop(logsettings& settings, HANDLE start_event, forwardqueue* forward = nullptr);

} // namespace kvt
