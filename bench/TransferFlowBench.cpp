// The explorer's transfer flow (selection, checks, TransferDialog, progress handling with its
// event processing, offscreen) against tavik_Download / tavik_Upload alone, on the same session
// of the same tavik-server in the same run; best of nine each, from a settled page cache, the
// two sides taking turns to go first.
//
// What is compared is the program's work around the library, so the machine's own noise is kept
// out where it can be: each side writes over its own destination file round after round instead
// of making a new one (a new gigabyte means fresh pages and blocks for the kernel to find, which
// on a virtual machine costs from one run to the next anywhere between nothing and twice the
// transfer), and the benchmark and the server each get a CPU of their own when there are two.
// Usage: tavik-flow-bench [--bytes N] [--server PATH]   (N defaults to 1 GiB)
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/CTransferFlow.h"
#include "app/explorer/FileListCtrl.h"
#include "app/frame/CMainFrame.h"
#include "app/shell/CMessageBox.h"
#include "bench/BenchSupport.h"
#include "sdk/include/TavikSDK.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tavik::app;

namespace {

constexpr int kRuns = 9;

struct Options {
    uint64_t bytes = 1ull << 30;
    std::string server;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
#ifdef TAVIK_SERVER_PROGRAM
    options.server = TAVIK_SERVER_PROGRAM;
#endif
    if (const char* bytes = bench::option(argc, argv, "--bytes")) {
        options.bytes = std::strtoull(bytes, nullptr, 10);
    }
    if (const char* server = bench::option(argc, argv, "--server")) {
        options.server = server;
    }
    return options;
}

void Settle() {
    ::sync();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// A destination is written over round after round, so that a run which wrote nothing would
// still leave the last run's bytes: its first and last 4 KiB are spoilt before each run and must
// match the source again after it.
constexpr size_t kMark = 4096;

bool EachEnd(const fs::path& path, const std::function<bool(std::fstream&, std::streamoff)>& act) {
    std::error_code error;
    const auto size = static_cast<std::streamoff>(fs::file_size(path, error));
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    if (error || !file || size < static_cast<std::streamoff>(kMark)) {
        return false;
    }
    return act(file, 0) && act(file, size - static_cast<std::streamoff>(kMark));
}

void Spoil(const fs::path& path) {
    const std::string zeros(kMark, '\0');
    EachEnd(path, [&](std::fstream& file, std::streamoff at) {
        file.seekp(at);
        return static_cast<bool>(file.write(zeros.data(), zeros.size()));
    });
}

bool EndsMatch(const fs::path& source, const fs::path& destination) {
    std::string expected[2];
    int end = 0;
    const bool read = EachEnd(source, [&](std::fstream& file, std::streamoff at) {
        expected[end].resize(kMark);
        file.seekg(at);
        return static_cast<bool>(file.read(expected[end++].data(), kMark));
    });
    end = 0;
    return read && EachEnd(destination, [&](std::fstream& file, std::streamoff at) {
               std::string found(kMark, '\0');
               file.seekg(at);
               return file.read(found.data(), kMark) && found == expected[end++];
           });
}

double Rate(uint64_t bytes, uint64_t startNs) {
    return static_cast<double>(bytes) / bench::secondsSince(startNs);
}

// tavik_Download / tavik_Upload alone, between the same files.
double LibraryRate(TAVIK_SESSION session, bool download, const std::string& remote,
                   const std::string& local, uint64_t bytes) {
    TAVIK_TRANSFER transfer{};
    transfer.pszSrcPath = download ? remote.c_str() : local.c_str();
    transfer.pszDstPath = download ? local.c_str() : remote.c_str();
    transfer.dwEndPos = static_cast<DWORD>(bytes);
    int cancel = 0;
    const uint64_t start = bench::nowNs();
    const BOOL ok = download ? tavik_Download(session, &transfer, &cancel)
                             : tavik_Upload(session, &transfer, &cancel);
    return ok ? Rate(bytes, start) : 0.0;
}

// The explorer's command on the selected row, until the call returns with "완료" shown.
double FlowRate(CTavikPDAView& view, bool download, const QString& name, uint64_t bytes) {
    FileListCtrl& list = download ? view.RemoteList() : view.LocalList();
    list.ClearSelectedRows();
    list.SelectRow(list.FindRow(name), true);
    const uint64_t start = bench::nowNs();
    view.OnCommand(download ? ID_DOWNLOAD : ID_UPLOAD);
    const double rate = Rate(bytes, start);
    TransferDialog* dialog = view.Transfers().Dialog();
    if (dialog == nullptr || dialog->CloseButtonText() != QStringLiteral("완료")) {
        return 0.0;
    }
    dialog->OnCloseButton();
    return rate;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    if (options.bytes < 2 * kMark || options.bytes > 0xFFFFFFFFull || options.server.empty()) {
        std::fprintf(stderr,
                     "usage: tavik-flow-bench [--bytes 8192..4294967295] [--server PATH]\n");
        return 2;
    }
    const fs::path root =
        fs::temp_directory_path() / ("tavik-flow-bench-" + std::to_string(getpid()));
    fs::create_directories(root / "disk");
    fs::create_directories(root / "device");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("TAVIK_DEVICE_ROOT", (root / "device").c_str(), 1);
    ::setenv("TAVIK_REGISTRY", (root / "registry.db").c_str(), 1);
    ::setenv("TAVIK_WINDOW_SCOPE", root.c_str(), 1);
    // The known servers' list of this run alone: the server's certificate is accepted there,
    // never in the user's.
    ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    QApplication application(argc, argv);
    CMessageBox::Recorder boxes; // every box answered OK and kept

    bench::makeFile((root / "disk" / "down.bin").string(), options.bytes);
    bench::makeFile((root / "device" / "up.bin").string(), options.bytes);
    const int port = bench::freePort();
    int status = 1;
    {
        bench::CServerProcess server(options.server, (root / "disk").string(), port);
        if (!server.started() || !bench::waitForPort(port, 10000)) {
            std::fprintf(stderr, "tavik-server did not start\n");
            fs::remove_all(root);
            return 1;
        }
        CTavikPDADoc document;
        CMainFrame frame(document);
        frame.Create();
        auto* view = new CTavikPDAView(document, &frame);
        view->AttachToFrame(frame);
        QObject::disconnect(view, &CTavikPDAView::diskInfoRequested, nullptr, nullptr);
        frame.show();
        view->OnInitialUpdate();
        DiskEntry disk;
        disk.diskId = u"demo";
        disk.diskName = u"demo";
        disk.serverAddress = u"127.0.0.1:" + QString::number(port).toStdU16String();
        std::vector<DiskEntry> disks;
        disks.push_back(std::move(disk));
        document.TakeDiskList(std::move(disks));
        view->RemoteList().SelectRow(0, true);
        if (view->ConnectSelected()) {
            const bool pinned = bench::pinToCpu(server.pid(), 1) && bench::pinToCpu(0, 0);
            const std::string sessionPath = document.SessionPath().toStdString();
            TAVIK_SESSION session = document.CurrentSession();
            double down[2] = {0, 0}, up[2] = {0, 0}; // [library, flow]
            bool intact = true;
            // The two sides alternate which goes first, so that neither always meets the other's
            // write-back; each keeps its best run.
            for (int run = 0; run < kRuns; ++run) {
                for (int turn = 0; turn < 2; ++turn) {
                    const bool flow = (run + turn) % 2 == 1;
                    const fs::path target = root / "device" / (flow ? "down.bin" : "raw.bin");
                    Spoil(target);
                    Settle();
                    const double rate = flow ? FlowRate(*view, true, "down.bin", options.bytes)
                                             : LibraryRate(session, true, sessionPath + "/down.bin",
                                                           "\\raw.bin", options.bytes);
                    const bool arrived = EndsMatch(root / "disk" / "down.bin", target);
                    intact = intact && arrived;
                    down[flow ? 1 : 0] = std::max(down[flow ? 1 : 0], arrived ? rate : 0.0);
                }
                for (int turn = 0; turn < 2; ++turn) {
                    const bool flow = (run + turn) % 2 == 1;
                    const fs::path target = root / "disk" / (flow ? "up.bin" : "raw up.bin");
                    Spoil(target);
                    Settle();
                    const double rate =
                        flow ? FlowRate(*view, false, "up.bin", options.bytes)
                             : LibraryRate(session, false, sessionPath + "/raw up.bin", "\\up.bin",
                                           options.bytes);
                    const bool arrived = EndsMatch(root / "device" / "up.bin", target);
                    intact = intact && arrived;
                    up[flow ? 1 : 0] = std::max(up[flow ? 1 : 0], arrived ? rate : 0.0);
                }
            }
            intact = intact &&
                     bench::filesEqual((root / "disk" / "down.bin").string(),
                                       (root / "device" / "down.bin").string()) &&
                     bench::filesEqual((root / "device" / "up.bin").string(),
                                       (root / "disk" / "up.bin").string());
            std::printf("transfer flow, %llu bytes, best of %d, offscreen, %s\n",
                        static_cast<unsigned long long>(options.bytes), kRuns,
                        pinned ? "server and benchmark on CPUs of their own"
                               : "server and benchmark sharing the CPUs");
            std::printf("%-30s %9.1f MB/s\n", "tavik_Download alone", down[0] / 1e6);
            std::printf("%-30s %9.1f MB/s   ratio %.2f\n", "download through the explorer",
                        down[1] / 1e6, down[0] > 0 ? down[1] / down[0] : 0.0);
            std::printf("%-30s %9.1f MB/s\n", "tavik_Upload alone", up[0] / 1e6);
            std::printf("%-30s %9.1f MB/s   ratio %.2f\n", "upload through the explorer",
                        up[1] / 1e6, up[0] > 0 ? up[1] / up[0] : 0.0);
            std::printf("files intact: %s; message boxes: %zu\n", intact ? "yes" : "NO",
                        boxes.Boxes().size());
            status = intact && boxes.Boxes().empty() ? 0 : 1;
        } else {
            std::fprintf(stderr, "could not connect to the disk\n");
        }
    }
    fs::remove_all(root);
    return status;
}
