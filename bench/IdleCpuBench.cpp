// The processor time of an idle, connected service connection.
//
// A loopback peer accepts the connection of a CSockHandler and then stays silent. For N seconds
// (argument, default 5) the program's event loop runs with the poll thread watching that
// socket; the process's processor time (user + system) over that span is our figure. The
// reference, measured in the same run on the same idle socket, is a poll loop that makes a 1 ms
// readiness check and goes round again at once: what a loop of 1 ms selects costs.
//
//   tavik-idle-bench [seconds]
#include "app/socket/CSockHandler.h"

#include <QCoreApplication>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A silent loopback peer: listens on 127.0.0.1, port chosen by the system.
struct Peer {
    int listener = -1;
    uint16_t port = 0;
    Peer() {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener, 4) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            std::perror("peer");
            std::exit(1);
        }
        port = ntohs(address.sin_port);
    }
    ~Peer() { close(listener); }
};

// The reference loop over one idle socket for the given span; returns its processor time.
double referenceLoopCpu(int handle, double seconds) {
    double before = processCpuSeconds();
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        int flags = fcntl(handle, F_GETFL);
        fcntl(handle, F_SETFL, flags | O_NONBLOCK);
        pollfd fd{handle, POLLIN, 0};
        poll(&fd, 1, 1);
    }
    return processCpuSeconds() - before;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: tavik-idle-bench [seconds]\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    Peer peer;
    tavik::app::CSockHandler handler;
    handler.Create();
    if (!handler.Connect(u"127.0.0.1", peer.port)) {
        std::fprintf(stderr, "connect failed\n");
        return 1;
    }
    int accepted = accept(peer.listener, nullptr, nullptr);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!handler.IsConnected() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    if (!handler.IsConnected()) {
        std::fprintf(stderr, "no connection\n");
        return 1;
    }

    double before = processCpuSeconds();
    QTimer::singleShot(static_cast<int>(seconds * 1000), &application, &QCoreApplication::quit);
    QCoreApplication::exec();
    double ours = processCpuSeconds() - before;
    double reference = referenceLoopCpu(handler.Socket()->Handle(), seconds);

    std::printf("idle connected program over %.1f s\n", seconds);
    std::printf("  poll thread (ours):      %8.2f ms CPU  (%.3f%% of a core)\n", ours * 1000,
                ours / seconds * 100);
    std::printf("  1 ms select loop (ref):  %8.2f ms CPU  (%.3f%% of a core)\n", reference * 1000,
                reference / seconds * 100);
    std::printf("  ratio ours/reference:    %8.4f\n", reference > 0 ? ours / reference : 0.0);
    close(accepted);
    return 0;
}
