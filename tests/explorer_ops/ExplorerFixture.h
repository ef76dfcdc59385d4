// What the explorer tests share: their own registry file, device root and window scope, an
// in-process tavik-server serving a fresh folder as the disk "demo", and the program's document,
// main frame and view with that disk connected. Every message box is answered by Answer (OK
// unless a test says otherwise) and recorded.
#pragma once

#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/frame/CMainFrame.h"
#include "app/shell/CMessageBox.h"
#include "tests/server/CServerHarness.h"
#include "tests/support/CTempFolder.h"

#include <QString>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tavik::test {

class ExplorerFixture : public ::testing::Test {
protected:
    // The disk's quota in bytes (none: the file system's numbers).
    virtual std::optional<uint64_t> Quota() const { return std::nullopt; }

    void SetUp() override;
    void TearDown() override;

    // Host paths.
    std::string Device(const std::string& relative = "") const;
    std::string Disk(const std::string& relative = "") const { return server_->disk(relative); }

    // Lists both panes again (the remote one at the disk's root, the local one at the root).
    void ListBoth();
    // Selects exactly the named rows of a list (in list order) and makes its pane active.
    void Select(app::FileListCtrl& list, const QStringList& names);
    // The texts of the boxes shown so far.
    QStringList BoxTexts() const;
    // Saves the widget as <name>.png in $TAVIK_SCREENSHOT_DIR when that is set (to look at the
    // dialogs); nothing otherwise.
    static void SaveShot(QWidget& widget, const char* name);
    // Runs the posted events (deferred deletes included).
    static void Settle();

    std::function<int(const app::MessageBoxRequest&)> answer_;
    CTempFolder folder_;
    std::unique_ptr<CServerHarness> server_;
    std::unique_ptr<app::CMessageBox::Recorder> boxes_;
    std::unique_ptr<app::CTavikPDADoc> document_;
    std::unique_ptr<app::CMainFrame> frame_;
    app::CTavikPDAView* view_ = nullptr;
};

// A file of the given size with bytes that differ by position.
std::string Pattern(size_t size);
// Writes bytes to a host path (folders made as needed).
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

} // namespace tavik::test
