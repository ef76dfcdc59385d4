#include "tests/explorer_ops/ExplorerFixture.h"

#include "app/explorer/FileListCtrl.h"
#include "app/explorer/PathBar.h"
#include "app/explorer/PathButton.h"
#include "app/settings/CSecuritySetting.h"
#include "sdk/include/TavikSDK.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPixmap>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tavik::test {

namespace fs = std::filesystem;

void ExplorerFixture::SetUp() {
    fs::create_directories(folder_.file("device"));
    ::setenv("TAVIK_REGISTRY", folder_.file("registry.db").c_str(), 1);
    ::setenv("TAVIK_DEVICE_ROOT", folder_.file("device").c_str(), 1);
    ::setenv("TAVIK_WINDOW_SCOPE", folder_.path().c_str(), 1);
    // The harness's server speaks plain: the disks are opened so unless a test says otherwise.
    ASSERT_TRUE(app::CSecuritySetting::Store(app::CSecuritySetting::Mode::Off));
    const std::optional<uint64_t> quota = Quota();
    server_ = std::make_unique<CServerHarness>([quota](server::CServerConfig& config) {
        for (server::DiskConfig& disk : config.disks) {
            disk.quota = quota;
        }
    });
    ASSERT_TRUE(server_->running());
    answer_ = [](const app::MessageBoxRequest&) { return app::IDOK; };
    boxes_ = std::make_unique<app::CMessageBox::Recorder>(
        [this](const app::MessageBoxRequest& request) { return answer_(request); });

    document_ = std::make_unique<app::CTavikPDADoc>();
    frame_ = std::make_unique<app::CMainFrame>(*document_);
    ASSERT_TRUE(frame_->Create());
    view_ = new app::CTavikPDAView(*document_, frame_.get());
    view_->AttachToFrame(*frame_);
    // No disk-information server here: the disk list is handed over below.
    QObject::disconnect(view_, &app::CTavikPDAView::diskInfoRequested, nullptr, nullptr);
    frame_->show();
    view_->OnInitialUpdate();

    app::DiskEntry disk;
    disk.loginId = u"tester";
    disk.diskId = u"demo";
    disk.diskName = u"demo";
    disk.serverAddress = u"127.0.0.1:" + QString::number(server_->port()).toStdU16String();
    std::vector<app::DiskEntry> disks;
    disks.push_back(std::move(disk));
    document_->TakeDiskList(std::move(disks));
    view_->RemoteList().SelectRow(0, true);
    ASSERT_TRUE(view_->ConnectSelected());
}

void ExplorerFixture::TearDown() {
    frame_.reset(); // the view and any dialog go with it
    document_.reset();
    boxes_.reset();
    server_.reset();
    for (const char* name : {"TAVIK_REGISTRY", "TAVIK_DEVICE_ROOT", "TAVIK_WINDOW_SCOPE"}) {
        ::unsetenv(name);
    }
}

std::string ExplorerFixture::Device(const std::string& relative) const {
    return relative.empty() ? folder_.file("device") : folder_.file("device/" + relative);
}

void ExplorerFixture::ListBoth() {
    ASSERT_TRUE(view_->ListRemoteFolder(view_->CurrentRemoteFolder()));
    view_->ListLocalFolder(view_->CurrentDevicePath());
}

void ExplorerFixture::Select(app::FileListCtrl& list, const QStringList& names) {
    list.ClearSelectedRows();
    for (const QString& name : names) {
        const int row = list.FindRow(name);
        ASSERT_GE(row, 0) << name.toStdString();
        list.SelectRow(row, true);
    }
    view_->SetActivePane(list.variant() == app::FileListCtrl::Variant::Remote
                             ? app::CTavikPDAView::Pane::Remote
                             : app::CTavikPDAView::Pane::Local);
}

QStringList ExplorerFixture::BoxTexts() const {
    QStringList texts;
    for (const app::MessageBoxRequest& box : boxes_->Boxes()) {
        texts << box.text;
    }
    return texts;
}

void ExplorerFixture::SaveShot(QWidget& widget, const char* name) {
    if (const char* folder = std::getenv("TAVIK_SCREENSHOT_DIR")) {
        widget.grab().save(QString::fromUtf8(folder) + QLatin1Char('/') + QLatin1String(name) +
                           QStringLiteral(".png"));
    }
}

void ExplorerFixture::Settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace tavik::test
