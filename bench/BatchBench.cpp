// A folder of many small files downloaded through the explorer's batch (selection, walk, one
// dialog, a hidden file and its rename per file, offscreen) against the command-line client's
// `get` of the same folder from the same tavik-server, in the same run; best of five each, the
// two sides taking turns to go first. Each round starts from an empty destination, so neither
// side meets an existing file.
// Usage: tavik-batch-bench [--files N] [--size BYTES]   (defaults: 2,000 files of 4 KiB)
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/CTransferFlow.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/TransferDialog.h"
#include "app/frame/CMainFrame.h"
#include "app/shell/CMessageBox.h"
#include "bench/BenchSupport.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tavik::app;

namespace {

constexpr int kRuns = 5;

int CountFiles(const fs::path& folder) {
    int files = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        files += it->is_regular_file() ? 1 : 0;
    }
    return files;
}

// The client's `get` as a child process; its wall time in seconds, or 0 when it failed.
double CliSeconds(const std::string& cli, int port, const fs::path& destination) {
    const std::string server = "127.0.0.1:" + std::to_string(port);
    const uint64_t start = bench::nowNs();
    const pid_t child = fork();
    if (child == 0) {
        // The client's local paths are host paths, not under the program's device root.
        ::unsetenv("TAVIK_DEVICE_ROOT");
        execl(cli.c_str(), cli.c_str(), "--server", server.c_str(), "--disk", "demo", "-q", "get",
              "tree", destination.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return 0.0;
    }
    return bench::secondsSince(start);
}

// The explorer's download of the selected folder, until the call returns with "완료" shown.
double ExplorerSeconds(CTavikPDAView& view) {
    FileListCtrl& list = view.RemoteList();
    list.ClearSelectedRows();
    list.SelectRow(list.FindRow(QStringLiteral("tree")), true);
    const uint64_t start = bench::nowNs();
    view.OnCommand(ID_DOWNLOAD);
    const double seconds = bench::secondsSince(start);
    TransferDialog* dialog = view.Transfers().Dialog();
    if (dialog == nullptr || dialog->CloseButtonText() != QStringLiteral("완료")) {
        return 0.0;
    }
    dialog->OnCloseButton();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    int files = 2000;
    uint64_t size = 4096;
    if (const char* value = bench::option(argc, argv, "--files")) {
        files = std::atoi(value);
    }
    if (const char* value = bench::option(argc, argv, "--size")) {
        size = std::strtoull(value, nullptr, 10);
    }
    const fs::path root =
        fs::temp_directory_path() / ("tavik-batch-bench-" + std::to_string(getpid()));
    fs::create_directories(root / "disk" / "tree");
    fs::create_directories(root / "device");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("TAVIK_DEVICE_ROOT", (root / "device").c_str(), 1);
    ::setenv("TAVIK_REGISTRY", (root / "registry.db").c_str(), 1);
    ::setenv("TAVIK_WINDOW_SCOPE", root.c_str(), 1);
    QApplication application(argc, argv);
    CMessageBox::Recorder boxes; // every box answered OK and kept
    for (int i = 0; i < files; ++i) {
        bench::makeFile((root / "disk" / "tree" / ("f" + std::to_string(i) + ".bin")).string(),
                        size);
    }
    const int port = bench::freePort();
    int status = 1;
    {
        bench::CServerProcess server(TAVIK_SERVER_PROGRAM, (root / "disk").string(), port);
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
            double best[2] = {1e9, 1e9}; // [client, explorer]
            bool complete = true;
            for (int run = 0; run < kRuns; ++run) {
                for (int turn = 0; turn < 2; ++turn) {
                    const bool explorer = (run + turn) % 2 == 1;
                    const fs::path destination = root / "device" / "tree";
                    fs::remove_all(destination);
                    ::sync();
                    const double seconds = explorer
                                               ? ExplorerSeconds(*view)
                                               : CliSeconds(TAVIK_CLI_PROGRAM, port, destination);
                    const bool arrived = seconds > 0 && CountFiles(destination) == files;
                    complete = complete && arrived;
                    if (arrived) {
                        best[explorer ? 1 : 0] = std::min(best[explorer ? 1 : 0], seconds);
                    }
                }
            }
            std::printf("folder of %d files of %llu bytes, best of %d, offscreen\n", files,
                        static_cast<unsigned long long>(size), kRuns);
            std::printf("%-32s %8.1f ms\n", "tavik get (command line)", best[0] * 1e3);
            std::printf("%-32s %8.1f ms   ratio %.2f (goal <= 1.5)\n", "explorer batch download",
                        best[1] * 1e3, best[1] / best[0]);
            std::printf("every file arrived: %s; message boxes: %zu\n", complete ? "yes" : "NO",
                        boxes.Boxes().size());
            status = complete && boxes.Boxes().empty() ? 0 : 1;
        } else {
            std::fprintf(stderr, "could not connect to the disk\n");
        }
    }
    fs::remove_all(root);
    return status;
}
