#include "app/settings/CUpdateMgr.h"

#include "app/res/ProgramResources.h"
#include "app/shell/CMessageBox.h"
#include "app/socket/CEndpointWindow.h"
#include "platform/AnsiCodePage.h"
#include "platform/CShellProcess.h"
#include "platform/CWindowEndpoint.h"

#include <QThread>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace tavik::app {

const QString CUpdateMgr::kCaption = QStringLiteral("TAVIK 업데이트");
const QString CUpdateMgr::kInitFailedText =
    QStringLiteral("UpdateMgr을 초기화 하는데 실패했습니다.");
const QString CUpdateMgr::kOfferText =
    QStringLiteral("업데이트 될 항목이 있습니다.\r\n[확인]을 선택하시면 TAVIK가 종료되며\r\n "
                   "업데이트를 시작합니다.");
const std::string CUpdateMgr::kMarkerContent = "newstart = 1";

namespace {

constexpr int kCloseWaitMs = 200;
constexpr int kCloseAttempts = 5;

// The folder part of a path: everything before its last '/'; false when it has none.
bool ParentOf(const std::string& path, std::string& parent) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return false;
    }
    parent = path.substr(0, slash);
    return true;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

std::u16string Trimmed(std::u16string_view line) {
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    size_t begin = 0;
    size_t end = line.size();
    while (begin < end && blank(line[begin])) {
        ++begin;
    }
    while (end > begin && blank(line[end - 1])) {
        --end;
    }
    return std::u16string(line.substr(begin, end - begin));
}

std::vector<std::u16string> Lines(const std::u16string& text) {
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

CUpdateMgr::CUpdateMgr() {
    SetIdentity(QStringLiteral("UpdateMgr"), 0);
}

CUpdateMgr::~CUpdateMgr() = default;

CUpdateMgr::InitResult CUpdateMgr::Init(const std::string& executablePath) {
    // 1. Program folder and root.
    std::string programFolder;
    if (!ParentOf(executablePath, programFolder) || !ParentOf(programFolder, root_)) {
        return kInitFailed;
    }
    // 2. The channel.
    std::u16string channel;
    if (!ReadIniValue(u"Client", u"channel", channel, SettingsPath())) {
        return kInitFailed;
    }
    // 3. The window class: refused when no window could carry its name.
    className_ = channel + u"_UpdateMgr";
    updaterClassName_ = u"WCE_" + channel + u"_Updrona";
    if (!platform::CWindowEndpoint::IsValidName(platform::CWindowEndpoint::ClassName(className_))) {
        return kInitFailed;
    }
    // 4. to 6.
    CloseRunningUpdaters();
    if (Exists(BinFolder() + "/UpdronaNew.exe")) {
        ReplaceFile(BinFolder() + "/UpdronaNew.exe", BinFolder() + "/Updrona.exe");
    }
    if (Exists(MarkerPath())) {
        StartUpdater(false);
        return kInitUpdaterStarted;
    }
    // 7. The hidden window; its creation starts the updater with the window's handle.
    if (!CreateHiddenWindow()) {
        return kInitFailed;
    }
    created_ = true;
    StartUpdater(true);
    return kInitContinue;
}

std::string CUpdateMgr::SettingsPath() const {
    std::string beside = BinFolder() + "/update.ini";
    return Exists(beside) ? beside : root_ + "/share/tavik/update.ini";
}

void CUpdateMgr::CloseRunningUpdaters() {
    std::string name = platform::CWindowEndpoint::ClassName(updaterClassName_);
    for (int attempt = 0; attempt < kCloseAttempts; ++attempt) {
        if (!platform::CWindowEndpoint::PostToFirst(name, {platform::kWmClose, 0, 0})) {
            return;
        }
        QThread::msleep(kCloseWaitMs);
    }
}

bool CUpdateMgr::CreateHiddenWindow() {
    auto* endpoints = new CEndpointWindow(this);
    handle_ = endpoints->BindHandle();
    if (handle_ == 0 || !endpoints->Bind(platform::CWindowEndpoint::ClassName(className_))) {
        delete endpoints;
        handle_ = 0;
        return false;
    }
    // A hidden window has nothing to close on a notice from outside; the updater's notice of
    // ready updates is the one message it takes from another program.
    endpoints->SetCloseHandler([] {});
    endpoints->Accept(WM_UPDATE_NOTICE);
    endpoints_ = endpoints;
    return true;
}

bool CUpdateMgr::StartUpdater(bool withHandle) {
    std::string updater = BinFolder() + "/Updrona.exe";
    std::string waiting = BinFolder() + "/UpdronaNew.exe";
    if (Exists(waiting)) {
        ReplaceFile(waiting, updater);
    }
    std::vector<std::string> arguments;
    if (withHandle) {
        arguments = {"/H:" + std::to_string(handle_), "/T:0"};
    }
    if (platform::CShellProcess::findProgram(updater).empty()) {
        return false;
    }
    return platform::CShellProcess::startDetached(updater, arguments, BinFolder()) == 0;
}

bool CUpdateMgr::ReplaceFile(const std::string& newPath, const std::string& oldPath) {
    std::error_code error;
    std::filesystem::remove(oldPath, error);
    std::filesystem::path folder = std::filesystem::path(oldPath).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
    }
    std::filesystem::rename(newPath, oldPath, error);
    return !error;
}

bool CUpdateMgr::ReadIniValue(const std::u16string& section, const std::u16string& key,
                              std::u16string& value, const std::string& iniPath) {
    std::ifstream file(iniPath, std::ios::binary);
    if (!file) {
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::u16string sectionLine = u"[" + section + u"]";
    bool inSection = false;
    for (const std::u16string& raw : Lines(platform::fromAnsi(bytes))) {
        std::u16string line = Trimmed(raw);
        if (!line.empty() && line.front() == u'[' && line.back() == u']') {
            inSection = line == sectionLine;
            continue;
        }
        size_t equals = line.find(u'=');
        if (inSection && equals != std::u16string::npos && line.substr(0, equals) == key) {
            value = line.substr(equals + 1);
            return true;
        }
    }
    return false;
}

LRESULT CUpdateMgr::windowProc(UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_UPDATE_NOTICE && wParam == kUpdatesReady) {
        OnUpdateOffer();
    }
    return 0;
}

void CUpdateMgr::OnUpdateOffer() {
    int answer = CMessageBox::Show(kOfferText, kCaption, MB_OKCANCEL | MB_ICONINFORMATION);
    if (answer != IDOK) {
        WriteMarker();
        return;
    }
    // The explorer's windows (main frame, login dialog) of this and any other running copy.
    std::vector<std::string> windows = platform::CWindowEndpoint::Find(
        platform::CWindowEndpoint::TitleName(kExplorerTitle.toStdU16String()));
    for (size_t i = 0; i < windows.size() && i < 2; ++i) {
        platform::CWindowEndpoint::Post(windows[i], {platform::kWmClose, 0, 0});
    }
    QThread::msleep(kCloseWaitMs);
    StartUpdater(false);
}

void CUpdateMgr::WriteMarker() {
    std::error_code error;
    std::filesystem::create_directories(root_ + "/update", error);
    std::ofstream marker(MarkerPath(), std::ios::binary | std::ios::trunc);
    marker << kMarkerContent;
}

} // namespace tavik::app
