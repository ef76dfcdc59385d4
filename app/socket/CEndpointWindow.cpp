#include "app/socket/CEndpointWindow.h"

#include "app/socket/CWindowMessage.h"

#include <QSocketNotifier>
#include <QWidget>

#include <algorithm>

namespace tavik::app {

CEndpointWindow::CEndpointWindow(QObject* window) : QObject(window), window_(window) {}

CEndpointWindow::~CEndpointWindow() {
    // The notifiers go before the sockets they watch.
    qDeleteAll(findChildren<QSocketNotifier*>());
}

bool CEndpointWindow::Bind(const std::string& name) {
    auto endpoint = std::make_unique<platform::CWindowEndpoint>();
    if (endpoint->Bind(name) != 0) {
        return false;
    }
    Watch(std::move(endpoint));
    return true;
}

int CEndpointWindow::BindHandle() {
    auto endpoint = std::make_unique<platform::CWindowEndpoint>();
    int handle = 0;
    if (endpoint->BindHandle(handle) != 0) {
        return 0;
    }
    Watch(std::move(endpoint));
    return handle;
}

void CEndpointWindow::Watch(std::unique_ptr<platform::CWindowEndpoint> endpoint) {
    platform::CWindowEndpoint& watched = *endpoint;
    auto* notifier = new QSocketNotifier(watched.Descriptor(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, &watched] { Drain(watched); });
    endpoints_.push_back(std::move(endpoint));
}

void CEndpointWindow::Drain(platform::CWindowEndpoint& endpoint) {
    platform::EndpointRecord record;
    while (endpoint.Receive(record)) {
        Deliver(record);
    }
}

void CEndpointWindow::Deliver(const platform::EndpointRecord& record) {
    if (record.msg == platform::kWmClose) {
        if (closeHandler_) {
            closeHandler_();
        } else if (auto* widget = qobject_cast<QWidget*>(window_)) {
            widget->close();
        }
        return;
    }
    if (std::find(accepted_.begin(), accepted_.end(), record.msg) == accepted_.end()) {
        return;
    }
    // Posted, as a message from another program always is: the sender does not wait.
    CWindowMessage::Post(window_, record.msg, static_cast<WPARAM>(record.wParam),
                         static_cast<LPARAM>(record.lParam));
}

} // namespace tavik::app
