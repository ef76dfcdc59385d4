// The explorer's figures, each against a reference measured in the same run:
//   1. A remote folder of 5,000 entries shown in the remote pane, sorted (the two listing
//      requests, rows built with type names and icons, the list filled, sorted and painted),
//      against one tavik_OpenFileInfo request for the folder's entries (the file listing, which
//      carries 4,900 of the 5,000). Goal: at most 2x. The pane's own two requests (folders, then
//      files) are timed alone too, to show how much of the pane's time is the pane's.
//   2. Sorting 5,000 rows by each key, on shuffled, already sorted and reversed input, and the
//      time per row as the rows double from 5,000 to 40,000 (nearly flat for an O(n log n)
//      sort, doubling at each step for a quadratic one).
// Rounds alternate between what is measured and its reference; the best of each is kept.
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/ListSort.h"
#include "app/settings/CSecuritySetting.h"
#include "app/shell/CMessageBox.h"
#include "bench/BenchSupport.h"

#include "sdk/include/TavikSDK.h"

#include <QApplication>
#include <QMainWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kEntries = 5000;
constexpr int kRounds = 7;

const char* const kExtensions[] = {".txt", ".dat", ".jpg", ".pdf", ".zip", ".c", "", ".hwp"};

bool MakeFolder(const std::string& root) {
    std::filesystem::create_directories(root + "/big");
    std::mt19937 random(7);
    for (int i = 0; i < kEntries; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/big/entry%05d%s", (i * 7919) % kEntries,
                      kExtensions[i % 8]);
        if (i % 50 == 0) {
            std::filesystem::create_directories(root + name + "_dir");
        } else if (!bench::makeFile(root + name, random() % 5000)) {
            return false;
        }
    }
    return true;
}

double BestOf(std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

double TimeLibraryListing(TAVIK_SESSION session, const std::u16string& path, bool bothKinds) {
    const uint64_t start = bench::nowNs();
    int count = 0;
    if (bothKinds) {
        tavik_CloseFileInfo(tavik_OpenFileInfo(path.c_str(), 62, 1, &count, session));
    }
    tavik_CloseFileInfo(tavik_OpenFileInfo(path.c_str(), 61, 1, &count, session));
    return bench::secondsSince(start);
}

void RemotePaneFigure(const char* serverProgram) {
    const std::string root = (std::filesystem::temp_directory_path() /
                              ("tavik-explorer-bench-" + std::to_string(getpid())))
                                 .string();
    if (!MakeFolder(root)) {
        std::printf("cannot make the folder\n");
        return;
    }
    const int port = bench::freePort();
    bench::CServerProcess server(serverProgram, root, port);
    if (!server.started() || !bench::waitForPort(port, 10000)) {
        std::printf("cannot start %s\n", serverProgram);
        return;
    }
    // Plain connections: the figure is the pane's, against plain library calls. Any box is
    // answered and counted rather than left waiting offscreen.
    tavik::app::CSecuritySetting::Store(tavik::app::CSecuritySetting::Mode::Off);
    tavik::app::CMessageBox::Recorder boxes;
    tavik::app::CTavikPDADoc document;
    QMainWindow frame;
    auto* view = new tavik::app::CTavikPDAView(document, &frame);
    frame.setCentralWidget(view);
    frame.resize(480, 800);
    frame.show();
    view->OnInitialUpdate();
    tavik::app::DiskEntry disk;
    disk.diskId = u"demo";
    disk.diskName = u"bench";
    disk.serverAddress = QStringLiteral("127.0.0.1:%1").arg(port).toStdU16String();
    std::vector<tavik::app::DiskEntry> disks{disk};
    document.TakeDiskList(std::move(disks));
    if (!document.Connect(QStringLiteral("bench"))) {
        std::printf("cannot connect\n");
        return;
    }
    const QString folder = document.SessionPath() + QStringLiteral("/big");
    const std::u16string path = folder.toStdU16String();
    std::vector<double> pane, both, files;
    int rows = 0;
    for (int round = 0; round < kRounds; ++round) {
        both.push_back(TimeLibraryListing(document.CurrentSession(), path, true));
        const uint64_t start = bench::nowNs();
        view->ListRemoteFolder(folder);
        view->RemoteList().viewport()->repaint();
        pane.push_back(bench::secondsSince(start));
        rows = view->RemoteList().RowCount();
        files.push_back(TimeLibraryListing(document.CurrentSession(), path, false));
    }
    std::printf("remote pane, %d rows shown sorted: %.1f ms; one tavik_OpenFileInfo (files) "
                "%.1f ms: ratio %.2f (goal at most 2); the pane's two requests (folders, files) "
                "%.1f ms: ratio %.2f\n",
                rows, BestOf(pane) * 1e3, BestOf(files) * 1e3, BestOf(pane) / BestOf(files),
                BestOf(both) * 1e3, BestOf(pane) / BestOf(both));
    if (!boxes.Boxes().empty()) {
        std::printf("unexpected message boxes: %zu\n", boxes.Boxes().size());
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::vector<tavik::app::SortInput> Rows(int count, int column, std::mt19937& random) {
    std::vector<tavik::app::SortInput> rows;
    for (int i = 0; i < count; ++i) {
        const bool folder = random() % 20 == 0;
        const QString size = folder ? QStringLiteral("폴더") : QString::number(random() % 10000000);
        QString key;
        switch (column) {
        case 0:
            key = QStringLiteral("파일 %1.txt").arg(random() % 1000000);
            break;
        case 1:
            key = size;
            break;
        case 2:
            key = QStringLiteral("%1 파일").arg(QChar(static_cast<char16_t>(u'A' + random() % 26)));
            break;
        default:
            key = QStringLiteral("2024-%1-%2 PM %3:%4")
                      .arg(random() % 12 + 1, 2, 10, QChar(u'0'))
                      .arg(random() % 28 + 1, 2, 10, QChar(u'0'))
                      .arg(random() % 12, 2, 10, QChar(u'0'))
                      .arg(random() % 60, 2, 10, QChar(u'0'));
        }
        rows.push_back({size, key});
    }
    return rows;
}

double TimeSort(const std::vector<tavik::app::SortInput>& rows, bool numeric) {
    std::vector<double> times;
    for (int round = 0; round < kRounds; ++round) {
        const uint64_t start = bench::nowNs();
        const std::vector<int> order = tavik::app::SortOrder(rows, numeric);
        times.push_back(bench::secondsSince(start));
        if (order.size() != rows.size()) {
            std::abort();
        }
    }
    return BestOf(times);
}

std::vector<tavik::app::SortInput> Arranged(const std::vector<tavik::app::SortInput>& rows,
                                            bool numeric, bool reversed) {
    std::vector<tavik::app::SortInput> out;
    for (int index : tavik::app::SortOrder(rows, numeric)) {
        out.push_back(rows[index]);
    }
    if (reversed) {
        std::reverse(out.begin(), out.end());
    }
    return out;
}

void SortFigures() {
    const char* names[] = {"이름", "크기", "종류", "마지막 수정일자"};
    std::mt19937 random(11);
    for (int column : {0, 1, 2, 3}) {
        const bool numeric = column == 1;
        const auto shuffled = Rows(kEntries, column, random);
        const double base = TimeSort(shuffled, numeric);
        const double sorted = TimeSort(Arranged(shuffled, numeric, false), numeric);
        const double reversed = TimeSort(Arranged(shuffled, numeric, true), numeric);
        // Time per row at each doubling: flat for n log n but for the log, doubling for n^2.
        QString growth;
        for (int rows = kEntries; rows <= kEntries * 8; rows *= 2) {
            const double time = TimeSort(Rows(rows, column, random), numeric);
            growth += QStringLiteral(" %1").arg(time / rows * 1e6, 0, 'f', 2);
        }
        std::printf("sort 5,000 rows by %s: shuffled %.2f ms, already sorted %.2f ms, reversed "
                    "%.2f ms; microseconds per row at 5k/10k/20k/40k rows:%s\n",
                    names[column], base * 1e3, sorted * 1e3, reversed * 1e3,
                    growth.toUtf8().constData());
    }
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The program's settings and known servers of this run alone, never the user's.
    const std::filesystem::path settings =
        std::filesystem::temp_directory_path() /
        ("tavik-explorer-bench-settings-" + std::to_string(getpid()));
    std::filesystem::create_directories(settings);
    ::setenv("TAVIK_REGISTRY", (settings / "registry.db").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", settings.c_str(), 1);
    ::setenv("TAVIK_WINDOW_SCOPE", settings.c_str(), 1);
    QApplication application(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
    SortFigures();
#ifdef TAVIK_SERVER_PROGRAM
    RemotePaneFigure(TAVIK_SERVER_PROGRAM);
#else
    std::printf("remote pane figure skipped: tavik-server is not built\n");
#endif
    std::error_code ignored;
    std::filesystem::remove_all(settings, ignored);
    return 0;
}
