// Window messages between windows of this process. HWND points to a CWindow whose windowProc is
// the window's message map. SendMessage runs it at once on the calling thread and returns its
// result; PostMessage queues the message in one process-wide queue that the owner of the message
// loop drains with DispatchPostedMessages. The queue is thread-safe; windowProc runs on the
// thread that sends or dispatches.
#pragma once

#include "sdk/include/TavikWindow.h"

#include <cstddef>

namespace tavik::platform {

// The window's result, or 0 for a null window.
LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Queues the message; false (nothing queued) for a null window.
bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Delivers queued messages in posting order, at most as many as were queued when it started, and
// returns how many it delivered; a window that keeps posting to itself cannot starve the caller.
size_t DispatchPostedMessages();
// Drops the queued messages of a window that is going away; returns how many were dropped.
size_t DiscardPostedMessages(HWND window);

} // namespace tavik::platform
