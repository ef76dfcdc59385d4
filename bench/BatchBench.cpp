// The explorer's batches, offscreen, against one tavik-server on loopback; each figure beside a
// reference measured in the same run:
//   get    A folder of many small files downloaded through the explorer's batch (selection,
//          walk, one dialog, a hidden file and its rename per file) against the command-line
//          client's `get` of the same folder; best of five each, the two sides taking turns to
//          go first, each round from an empty destination. Goal: at most 1.5x.
//   start  Every row of a 5,000-entry folder selected (Ctrl+A in the remote list) and
//          "다운로드" tapped, until the first notice of the first file's bytes (the selection
//          read, the rows looked up and planned, their folders walked and made, the dialog
//          opened), against listing the same folder in the remote pane (the refresh command:
//          the two listing requests, the rows built and sorted, the list painted); best of seven
//          alternating rounds. The batch is cancelled at that first notice. Goal: under 1.5x.
//   idle   The process's processor time over a few seconds of its event loop with the dialog
//          of a completed batch left open, against the same span after the dialog is closed.
//          Goal: about 0.
// Usage: tavik-batch-bench [--files N] [--size BYTES] [--rows N] [--idle-seconds S]
//                          [--only get|start|idle]
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/CTransferFlow.h"
#include "app/explorer/ExplorerIds.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/TransferDialog.h"
#include "app/frame/CMainFrame.h"
#include "app/settings/CSecuritySetting.h"
#include "app/shell/CMessageBox.h"
#include "bench/BenchSupport.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tavik::app;

namespace {

constexpr int kRuns = 5;
constexpr int kStartRounds = 7;

struct Options {
    int files = 2000;
    uint64_t size = 4096;
    int rows = 5000;
    double idleSeconds = 3.0;
    std::string only;
    bool Runs(const char* figure) const { return only.empty() || only == figure; }
};

int CountFiles(const fs::path& folder) {
    int files = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        files += it->is_regular_file() ? 1 : 0;
    }
    return files;
}

void EmptyFolder(const fs::path& folder) {
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ignored)) {
        fs::remove_all(entry.path(), ignored);
    }
}

// The folder the "start" figure selects: rows entries, one in fifty an empty folder, the rest
// files of up to 5,000 bytes with eight kinds of names.
bool MakeManyEntries(const fs::path& folder, int rows) {
    static const char* const kExtensions[] = {".txt", ".dat", ".jpg", ".pdf",
                                              ".zip", ".c",   "",     ".hwp"};
    fs::create_directories(folder);
    std::mt19937 random(7);
    for (int i = 0; i < rows; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "entry%05d%s", (i * 7919) % rows, kExtensions[i % 8]);
        std::error_code error;
        if (i % 50 == 0) {
            fs::create_directories(folder / (std::string(name) + "_dir"), error);
        } else if (!bench::makeFile((folder / name).string(), random() % 5000)) {
            return false;
        }
    }
    return true;
}

struct CpuSpan {
    double seconds = 0; // user + system
    long wakeUps = 0;   // voluntary context switches: how often a thread went to sleep
};

CpuSpan ProcessCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_nvcsw};
}

// The process's processor time while its event loop runs for the given span.
CpuSpan IdleSpan(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    const CpuSpan before = ProcessCpu();
    loop.exec();
    const CpuSpan after = ProcessCpu();
    return {after.seconds - before.seconds, after.wakeUps - before.wakeUps};
}

// Stands between the library's notices and the frame: notes when the first one of a round
// arrives and then cancels the batch (it stops after the file under way).
class FirstNotice : public CWindow {
public:
    FirstNotice(CWindow& frame, CTransferFlow& flow) : frame_(frame), flow_(flow) {}
    void Arm() {
        armed_ = true;
        atNs_ = 0;
    }
    uint64_t AtNs() const { return atNs_; }
    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        const bool progress = msg == WM_DOWNLOAD_PROGRESS || msg == WM_DOWNLOAD_PROGRESS64;
        if (armed_ && progress) {
            atNs_ = bench::nowNs();
            armed_ = false;
            flow_.RequestCancel();
        }
        return frame_.windowProc(msg, wParam, lParam);
    }

private:
    CWindow& frame_;
    CTransferFlow& flow_;
    bool armed_ = false;
    uint64_t atNs_ = 0;
};

// Notes when the batch's dialog is first shown in a round: its plan is made by then.
class DialogShown : public QObject {
public:
    void Arm() { atNs_ = 0; }
    uint64_t AtNs() const { return atNs_; }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (atNs_ == 0 && event->type() == QEvent::Show &&
            qobject_cast<TransferDialog*>(watched) != nullptr) {
            atNs_ = bench::nowNs();
        }
        return false;
    }

private:
    uint64_t atNs_ = 0;
};

// Making `count` folders in a fresh folder under parent, alone: the local file system's part
// of a batch that makes them. Best of rounds; the folders stay until the caller removes them.
double MakeFoldersSeconds(const fs::path& parent, int count, int rounds) {
    double best = 1e9;
    for (int round = 0; round < rounds; ++round) {
        const fs::path scratch = parent / ("folders-" + std::to_string(round));
        fs::create_directories(scratch);
        const uint64_t begin = bench::nowNs();
        for (int i = 0; i < count; ++i) {
            fs::create_directory(scratch / std::to_string(i));
        }
        best = std::min(best, bench::secondsSince(begin));
    }
    return best;
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

// The explorer's download of the selected folder "tree", until the call returns with "완료"
// shown; the dialog is left open. 0 when it did not complete.
double ExplorerDownload(CTavikPDAView& view) {
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
    return seconds;
}

void CloseTransferDialog(CTavikPDAView& view) {
    if (TransferDialog* dialog = view.Transfers().Dialog()) {
        dialog->OnCloseButton();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool GetFigure(CTavikPDAView& view, int port, const fs::path& device, const Options& options) {
    double best[2] = {1e9, 1e9}; // [client, explorer]
    bool complete = true;
    for (int run = 0; run < kRuns; ++run) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool explorer = (run + turn) % 2 == 1;
            const fs::path destination = device / "tree";
            fs::remove_all(destination);
            ::sync();
            double seconds = 0;
            if (explorer) {
                seconds = ExplorerDownload(view);
                CloseTransferDialog(view);
            } else {
                seconds = CliSeconds(TAVIK_CLI_PROGRAM, port, destination);
            }
            const bool arrived = seconds > 0 && CountFiles(destination) == options.files;
            complete = complete && arrived;
            if (arrived) {
                best[explorer ? 1 : 0] = std::min(best[explorer ? 1 : 0], seconds);
            }
        }
    }
    fs::remove_all(device / "tree");
    std::printf("folder of %d files of %llu bytes, best of %d, offscreen\n", options.files,
                static_cast<unsigned long long>(options.size), kRuns);
    std::printf("  %-30s %8.1f ms\n", "tavik get (command line)", best[0] * 1e3);
    std::printf("  %-30s %8.1f ms   ratio %.2f (goal <= 1.5)\n", "explorer batch download",
                best[1] * 1e3, best[1] / best[0]);
    std::printf("  every file arrived: %s\n", complete ? "yes" : "NO");
    return complete;
}

bool IdleFigure(CTavikPDAView& view, const fs::path& device, const Options& options) {
    fs::remove_all(device / "tree");
    if (ExplorerDownload(view) <= 0 || CountFiles(device / "tree") != options.files) {
        std::printf("idle figure: the batch did not complete\n");
        CloseTransferDialog(view);
        return false;
    }
    // Whatever the batch's end left queued runs before the span starts.
    QCoreApplication::processEvents();
    const CpuSpan open = IdleSpan(options.idleSeconds);
    const bool stillOpen = view.Transfers().Dialog() != nullptr;
    CloseTransferDialog(view);
    QCoreApplication::processEvents();
    const CpuSpan closed = IdleSpan(options.idleSeconds);
    fs::remove_all(device / "tree");
    auto line = [&](const char* what, const CpuSpan& span) {
        std::printf("  %-36s %8.2f ms CPU (%.3f %% of a core), %ld wake-ups\n", what,
                    span.seconds * 1e3, span.seconds / options.idleSeconds * 100, span.wakeUps);
    };
    std::printf("idle process over %.1f s after a batch of %d files, offscreen\n",
                options.idleSeconds, options.files);
    line("batch dialog open, batch completed", open);
    line("dialog closed (reference)", closed);
    std::printf("  dialog still open during the span: %s\n", stillOpen ? "yes" : "NO");
    return stillOpen;
}

bool StartFigure(CTavikPDAView& view, FirstNotice& probe, const fs::path& device,
                 const Options& options) {
    FileListCtrl& list = view.RemoteList();
    view.OpenRemoteRow(list.FindRow(QStringLiteral("big")));
    const QString folder = view.CurrentRemoteFolder();
    std::vector<double> listing, planned, start;
    bool ok = list.RowCount() == options.rows;
    DialogShown shown;
    QCoreApplication::instance()->installEventFilter(&shown);
    int selected = 0;
    for (int round = 0; ok && round < kStartRounds; ++round) {
        // The reference: the refresh command's listing, painted.
        uint64_t begin = bench::nowNs();
        view.ListRemoteFolder(folder);
        list.viewport()->repaint();
        listing.push_back(bench::secondsSince(begin));
        ok = list.RowCount() == options.rows;

        // Every row selected and the download tapped, until the first file's first notice. Each
        // round goes into a fresh folder one level below the last one (nothing is deleted
        // until the end, as a user's device folder would not have just lost a hundred folders).
        const QString fresh = QStringLiteral("r%1").arg(round);
        fs::path host = device;
        for (int level = 0; level < round; ++level) {
            host /= "r" + std::to_string(level);
        }
        fs::create_directories(host / fresh.toStdString());
        view.ListLocalFolder(view.CurrentDevicePath());
        view.OpenLocalRow(view.LocalList().FindRow(fresh));
        probe.Arm();
        shown.Arm();
        begin = bench::nowNs();
        // Ctrl+A in the remote list, as the keyboard gives it.
        QKeyEvent selectAll(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(&list, &selectAll);
        selected = static_cast<int>(list.SelectedRows().size());
        view.OnCommand(ID_DOWNLOAD);
        ok = ok && probe.AtNs() > begin && shown.AtNs() > begin && selected == options.rows;
        if (ok) {
            start.push_back(static_cast<double>(probe.AtNs() - begin) / 1e9);
            planned.push_back(static_cast<double>(shown.AtNs() - begin) / 1e9);
        }
        CloseTransferDialog(view);
    }
    QCoreApplication::instance()->removeEventFilter(&shown);
    const int folders = options.rows / 50;
    const double mkdirs = MakeFoldersSeconds(device, folders, kStartRounds);
    EmptyFolder(device);
    view.ListLocalFolder(QString());
    if (!ok) {
        std::printf("start figure failed: %d rows listed, %d selected, first notice %s\n",
                    list.RowCount(), selected, probe.AtNs() > 0 ? "seen" : "never seen");
        return false;
    }
    const double listed = *std::min_element(listing.begin(), listing.end());
    const double started = *std::min_element(start.begin(), start.end());
    const double plan = *std::min_element(planned.begin(), planned.end());
    std::printf("folder of %d entries, best of %d alternating rounds, offscreen\n", options.rows,
                kStartRounds);
    std::printf("  %-44s %8.1f ms\n", "remote pane listing (refresh, painted)", listed * 1e3);
    std::printf("  %-44s %8.1f ms   ratio %.2f (goal < 1.5)\n",
                "all rows selected, batch to its first file", started * 1e3, started / listed);
    std::printf("  %-44s %8.1f ms   ratio %.2f\n", "  of which: until the dialog shows (planned)",
                plan * 1e3, plan / listed);
    std::printf("  %-44s %8.1f ms   (the batch makes them before its first file)\n",
                (std::to_string(folders) + " folders made on the device alone").c_str(),
                mkdirs * 1e3);
    return true;
}

Options ReadOptions(int argc, char** argv) {
    Options options;
    if (const char* value = bench::option(argc, argv, "--files")) {
        options.files = std::atoi(value);
    }
    if (const char* value = bench::option(argc, argv, "--size")) {
        options.size = std::strtoull(value, nullptr, 10);
    }
    if (const char* value = bench::option(argc, argv, "--rows")) {
        options.rows = std::atoi(value);
    }
    if (const char* value = bench::option(argc, argv, "--idle-seconds")) {
        options.idleSeconds = std::atof(value);
    }
    if (const char* value = bench::option(argc, argv, "--only")) {
        options.only = value;
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ReadOptions(argc, argv);
    if (options.files <= 0 || options.rows <= 0 || options.idleSeconds <= 0 ||
        !(options.Runs("get") || options.Runs("start") || options.Runs("idle"))) {
        std::fprintf(stderr, "usage: tavik-batch-bench [--files N] [--size BYTES] [--rows N] "
                             "[--idle-seconds S] [--only get|start|idle]\n");
        return 2;
    }
    const fs::path root =
        fs::temp_directory_path() / ("tavik-batch-bench-" + std::to_string(getpid()));
    const fs::path device = root / "device";
    fs::create_directories(root / "disk" / "tree");
    fs::create_directories(device);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("TAVIK_DEVICE_ROOT", device.c_str(), 1);
    ::setenv("TAVIK_REGISTRY", (root / "registry.db").c_str(), 1);
    ::setenv("TAVIK_WINDOW_SCOPE", root.c_str(), 1);
    // The known servers' list of this run alone, never the user's.
    ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    QApplication application(argc, argv);
    // Plain connections, as the command-line client's on loopback: both sides move the same
    // bytes the same way.
    CSecuritySetting::Store(CSecuritySetting::Mode::Off);
    CMessageBox::Recorder boxes; // every box answered OK and kept
    for (int i = 0; i < options.files; ++i) {
        bench::makeFile((root / "disk" / "tree" / ("f" + std::to_string(i) + ".bin")).string(),
                        options.size);
    }
    if (options.Runs("start") && !MakeManyEntries(root / "disk" / "big", options.rows)) {
        std::fprintf(stderr, "cannot make the folder of %d entries\n", options.rows);
        fs::remove_all(root);
        return 1;
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
        FirstNotice probe(frame, view->Transfers());
        if (view->ConnectSelected()) {
            bool ok = true;
            // The disk's root first ("tree"), then into the big folder.
            if (options.Runs("get")) {
                ok = GetFigure(*view, port, device, options) && ok;
            }
            if (options.Runs("idle")) {
                ok = IdleFigure(*view, device, options) && ok;
            }
            if (options.Runs("start")) {
                view->Transfers().SetNotifyWindow(&probe, &frame);
                ok = StartFigure(*view, probe, device, options) && ok;
                view->Transfers().SetNotifyWindow(&frame, &frame);
            }
            std::printf("message boxes: %zu\n", boxes.Boxes().size());
            for (const MessageBoxRequest& box : boxes.Boxes()) {
                std::printf("  box: %s\n", box.text.left(200).toUtf8().constData());
            }
            status = ok && boxes.Boxes().empty() ? 0 : 1;
        } else {
            std::fprintf(stderr, "could not connect to the disk\n");
        }
    }
    fs::remove_all(root);
    return status;
}
