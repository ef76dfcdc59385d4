// Makes a window of this program reachable from other programs (and from FindWindow-style
// look-ups in this one) through named endpoints (platform/CWindowEndpoint): its window class,
// its title, a numeric handle. Records that arrive are delivered on the window's thread:
// WM_CLOSE runs the close handler (by default QWidget::close on a widget window), a message the
// window has declared with Accept is posted to it as a window message, anything else is dropped.
//
// Other programs may send only what the window accepts: the endpoint layer already keeps out
// other users' processes, and the window's own messages (whose parameters may be pointers
// inside this process) never come in from outside. An accepted message's wParam and lParam are
// plain numbers chosen by another program; its handler must never use them as a pointer, a
// size or a handle.
//
// Ownership: a child of the window it serves, so it (and its endpoints) go with the window.
// Threads: the window's thread.
#pragma once

#include "app/socket/CWindowMessage.h"
#include "platform/CWindowEndpoint.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavik::app {

class CEndpointWindow : public QObject {
    Q_OBJECT
public:
    explicit CEndpointWindow(QObject* window);
    ~CEndpointWindow() override;

    // Binds one more name; false when it cannot be bound (see CWindowEndpoint::Bind).
    bool Bind(const std::string& name);
    // Binds a fresh handle and returns its number, or 0 on failure.
    int BindHandle();
    void SetCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }
    // Lets other programs send msg (besides WM_CLOSE, which is always accepted).
    void Accept(UINT msg) { accepted_.push_back(msg); }

private:
    void Watch(std::unique_ptr<platform::CWindowEndpoint> endpoint);
    void Drain(platform::CWindowEndpoint& endpoint);
    void Deliver(const platform::EndpointRecord& record);

    QObject* window_;
    std::function<void()> closeHandler_;
    std::vector<UINT> accepted_;
    std::vector<std::unique_ptr<platform::CWindowEndpoint>> endpoints_;
};

} // namespace tavik::app
