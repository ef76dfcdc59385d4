#include "platform/WindowMessage.h"

#include <deque>
#include <mutex>

namespace tavik::platform {

namespace {

struct PostedMessage {
    HWND window;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

struct MessageQueue {
    std::mutex lock;
    std::deque<PostedMessage> messages;
};

MessageQueue& queue() {
    static MessageQueue instance;
    return instance;
}

} // namespace

LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr) {
        return 0;
    }
    return window->windowProc(msg, wParam, lParam);
}

bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr) {
        return false;
    }
    MessageQueue& q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    q.messages.push_back({window, msg, wParam, lParam});
    return true;
}

size_t DispatchPostedMessages() {
    MessageQueue& q = queue();
    size_t pending = 0;
    {
        std::lock_guard<std::mutex> guard(q.lock);
        pending = q.messages.size();
    }
    // One message at a time, without the lock while the window runs: a window procedure may post
    // again, or discard the messages of a window it destroys.
    size_t delivered = 0;
    for (; delivered < pending; ++delivered) {
        PostedMessage m{};
        {
            std::lock_guard<std::mutex> guard(q.lock);
            if (q.messages.empty()) {
                break;
            }
            m = q.messages.front();
            q.messages.pop_front();
        }
        m.window->windowProc(m.msg, m.wParam, m.lParam);
    }
    return delivered;
}

size_t DiscardPostedMessages(HWND window) {
    MessageQueue& q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    size_t before = q.messages.size();
    std::erase_if(q.messages, [window](const PostedMessage& m) { return m.window == window; });
    return before - q.messages.size();
}

} // namespace tavik::platform
