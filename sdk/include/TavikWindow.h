// The window stand-in behind HWND (C++ only). The library notifies a caller's window during a
// transfer by calling its window procedure synchronously on the calling thread.
#ifndef TAVIK_WINDOW_H
#define TAVIK_WINDOW_H

#include "TavikTypes.h"

#ifdef __cplusplus
class CWindow {
public:
    virtual ~CWindow() = default;
    // Handles one message and returns its result. Called on the thread that sent the message.
    virtual LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
};
#endif

#endif
