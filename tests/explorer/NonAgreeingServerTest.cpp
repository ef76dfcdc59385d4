// The explorer against a disk server that knows only 32-bit sizes (a scripted peer whose login
// reply carries no agreement): a remote file it reports with the clamped size 0xFFFFFFFF, and a
// device file of 4 GiB or more, are refused with the program's own text before any transfer is
// asked for, alone or in a batch, and no device file is made, cut short or changed. The files
// that fit still go. Each row is one selection and command; the peer's script is exactly what the
// program may ask for, so any transfer request it was not given fails the row.
#include "app/explorer/BatchText.h"
#include "app/explorer/CBatchPlanner.h"
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/ExplorerIds.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/TransferText.h"
#include "app/shell/CMessageBox.h"
#include "sdk/include/TavikSDK.h"
#include "tests/platform_files/DeviceRoot.h"
#include "tests/support/CFakeDiskServer.h"

#include <QCoreApplication>
#include <QMainWindow>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

namespace tavik::app {
namespace {

namespace fs = std::filesystem;
using test::CFakeDiskServer;
using test::FakeItem;

constexpr uint64_t kFiveGiB = 5ull << 30;

// The disk's root as the two listing requests answer it: its folders (the root itself only),
// then its files, "huge.iso" with the clamp.
void ServeRootListing(CFakeDiskServer& peer) {
    peer.expect("getfileinfo")
        .reply({{"num", 1}, {"p1", "/disk"}, {"s1", 0}, {"t1", 1}, {"d1", "2026-01-02 03:04"}})
        .expect("getfileinfo")
        .reply({{"num", 2},
                {"p1", "/disk/huge.iso"},
                {"s1", -1},
                {"t1", 0},
                {"d1", "2026-01-02 03:04"},
                {"p2", "/disk/small.txt"},
                {"s2", 5},
                {"t2", 0},
                {"d2", "2026-01-02 03:04"}});
}

std::map<std::string, uintmax_t> DeviceFiles(const fs::path& root) {
    std::map<std::string, uintmax_t> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), root).string()] = entry.file_size();
        }
    }
    return files;
}

struct Row {
    const char* name;
    bool remotePane;                              // the rows are picked there
    std::vector<QString> picked;                  // rows of the pane, selected
    int command;                                  // ID_DOWNLOAD or ID_UPLOAD
    std::function<void(CFakeDiskServer&)> script; // after the login and the root's listing
    QString box;                                  // the one box shown
    std::map<std::string, uintmax_t> deviceAfter; // every device file and its size
};

TEST(NonAgreeingServerTest, ClampedAndLargeFilesAreRefusedAndNothingIsCut) {
    const QString refusedInBatch =
        BatchFailureText({{QStringLiteral("huge.iso"), kFileTooLargeText}});
    const Row rows[] = {
        {"download of the clamped file alone",
         true,
         {QStringLiteral("huge.iso")},
         ID_DOWNLOAD,
         [](CFakeDiskServer&) {},
         kFileTooLargeText,
         {{"huge.iso", 4}, {"big.vhd", kFiveGiB}}},
        {"download of the clamped file with a small one",
         true,
         {QStringLiteral("huge.iso"), QStringLiteral("small.txt")},
         ID_DOWNLOAD,
         [](CFakeDiskServer& peer) {
             // The batch lists the folder for its plan, then fetches the one file that fits and
             // lists the device again (nothing remote).
             ServeRootListing(peer);
             peer.expect("download")
                 .reply({})
                 .sendRaw({'h', 'e', 'l', 'l', 'o'})
                 .reply({{"error", 0}});
         },
         refusedInBatch,
         {{"huge.iso", 4}, {"big.vhd", kFiveGiB}, {"small.txt", 5}}},
        {"upload of a device file of 5 GiB alone",
         false,
         {QStringLiteral("big.vhd")},
         ID_UPLOAD,
         [](CFakeDiskServer& peer) {
             peer.expect("getquota")
                 .reply({{"block", 4096}, {"free", 0x100000}, {"total", 0x200000}});
         },
         kFileTooLargeText,
         {{"huge.iso", 4}, {"big.vhd", kFiveGiB}}},
        // The clamp itself is no size a 32-bit range can carry either.
        {"upload of a device file of exactly 0xFFFFFFFF bytes",
         false,
         {QStringLiteral("clamp.bin")},
         ID_UPLOAD,
         [](CFakeDiskServer& peer) {
             peer.expect("getquota")
                 .reply({{"block", 4096}, {"free", 0x100000}, {"total", 0x200000}});
         },
         kFileTooLargeText,
         {{"huge.iso", 4}, {"big.vhd", kFiveGiB}, {"clamp.bin", 0xFFFFFFFFull}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::DeviceRoot device;
        device.write("huge.iso", "keep");
        fs::resize_file(device / "huge.iso", 4);
        { std::ofstream(device / "big.vhd"); }
        fs::resize_file(device / "big.vhd", kFiveGiB); // sparse: no bytes written
        if (row.deviceAfter.count("clamp.bin") != 0) {
            { std::ofstream(device / "clamp.bin"); }
            fs::resize_file(device / "clamp.bin", 0xFFFFFFFFull);
        }

        CFakeDiskServer peer(8000);
        peer.expectLogin("/disk", 1);
        ServeRootListing(peer);
        row.script(peer);
        peer.expectClosed().start();

        CMessageBox::Recorder boxes;
        CTavikPDADoc document;
        document.SetWaits(2000, 3000);
        QMainWindow frame;
        auto* view = new CTavikPDAView(document, &frame);
        frame.setCentralWidget(view);
        frame.show();
        view->OnInitialUpdate();
        DiskEntry disk;
        disk.diskId = u"d1";
        disk.diskName = u"disk";
        disk.serverAddress = u"127.0.0.1:" + QString::number(peer.port()).toStdU16String();
        document.TakeDiskList({disk});
        view->RemoteList().SelectRow(0, true);
        ASSERT_TRUE(view->ConnectSelected());
        EXPECT_EQ(tavik_IsLargeFileSession(document.CurrentSession()), 0);
        ASSERT_EQ(view->RemoteList().Text(view->RemoteList().FindRow(QStringLiteral("huge.iso")),
                                          kColumnSize),
                  SizeText(0xFFFFFFFFull));

        FileListCtrl& list = row.remotePane ? view->RemoteList() : view->LocalList();
        list.ClearSelectedRows();
        for (const QString& name : row.picked) {
            list.SelectRow(list.FindRow(name), true);
        }
        view->OnCommand(row.command);

        QStringList shown;
        for (const MessageBoxRequest& box : boxes.Boxes()) {
            shown << box.text;
        }
        EXPECT_EQ(shown.join(QLatin1Char('|')).toStdString(), row.box.toStdString());
        EXPECT_EQ(DeviceFiles(device.path()), row.deviceAfter);
        EXPECT_EQ(device.read("huge.iso"), "keep");
        document.CloseAllSessions();
        EXPECT_TRUE(peer.finish());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace
} // namespace tavik::app
