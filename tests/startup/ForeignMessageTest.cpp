// Messages from other processes: real datagrams sent to the endpoints of a running explorer
// (main frame with its view, login dialog) and of the update manager's hidden window, from this
// process and, for another user, from a child process that changes its user id.
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/ExplorerIds.h"
#include "app/frame/CMainFrame.h"
#include "app/login/AuthResult.h"
#include "app/login/CLoginDlg.h"
#include "app/res/ProgramResources.h"
#include "app/settings/CUpdateMgr.h"
#include "app/shell/CMessageBox.h"
#include "platform/CWindowEndpoint.h"
#include "tests/startup/StartupFixture.h"

#include <QSignalSpy>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <iterator>

namespace tavik::app {
namespace {

using platform::CWindowEndpoint;
using platform::EndpointRecord;
using platform::kWmClose;

constexpr uid_t kOtherUser = 65534;

// Sends the record to an endpoint address from a child process running as kOtherUser. False
// when the child could not change its user id or send.
bool PostAsOtherUser(const std::string& address, const EndpointRecord& record) {
    pid_t child = ::fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        if (::setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 ||
            ::setresuid(kOtherUser, kOtherUser, kOtherUser) != 0) {
            ::_exit(2);
        }
        ::_exit(CWindowEndpoint::Post(address, record) ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> ExplorerWindows() {
    return CWindowEndpoint::Find(CWindowEndpoint::TitleName(kExplorerTitle.toStdU16String()));
}

class ForeignMessageTest : public test::StartupFixture {};

TEST_F(ForeignMessageTest, OnlyRecordsOfThisUserAreReceived) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "sending as another user needs root; not run as root";
    }
    CWindowEndpoint endpoint;
    ASSERT_EQ(endpoint.Bind(CWindowEndpoint::ClassName(u"foreign_test")), 0);
    std::vector<std::string> found =
        CWindowEndpoint::Find(CWindowEndpoint::ClassName(u"foreign_test"));
    ASSERT_EQ(found.size(), 1u);

    ASSERT_TRUE(PostAsOtherUser(found[0], {kWmClose, 7, 7}));
    ASSERT_TRUE(CWindowEndpoint::Post(found[0], {kWmClose, 1, 2}));
    EndpointRecord record;
    ASSERT_TRUE(endpoint.Receive(record));
    EXPECT_EQ(record, (EndpointRecord{kWmClose, 1, 2}));
    EXPECT_FALSE(endpoint.Receive(record));
}

// Sends the record with a descriptor attached, as a process handing over a handle would.
bool PostWithDescriptor(const std::string& address, const EndpointRecord& record, int fd) {
    int sender = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un target{};
    target.sun_family = AF_UNIX;
    std::memcpy(target.sun_path + 1, address.data(), address.size());
    unsigned char bytes[20] = {};
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(record.msg >> (8 * i));
    }
    iovec data{bytes, sizeof bytes};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_name = &target;
    message.msg_namelen =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + address.size());
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* part = CMSG_FIRSTHDR(&message);
    part->cmsg_level = SOL_SOCKET;
    part->cmsg_type = SCM_RIGHTS;
    part->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(part), &fd, sizeof fd);
    bool sent = ::sendmsg(sender, &message, 0) == static_cast<ssize_t>(sizeof bytes);
    ::close(sender);
    return sent;
}

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

// A handle from outside is never taken: a record that carries one is dropped, and no
// descriptor arrives in this process.
TEST_F(ForeignMessageTest, ARecordCarryingADescriptorIsDropped) {
    CWindowEndpoint endpoint;
    ASSERT_EQ(endpoint.Bind(CWindowEndpoint::ClassName(u"handle_test")), 0);
    std::vector<std::string> found =
        CWindowEndpoint::Find(CWindowEndpoint::ClassName(u"handle_test"));
    ASSERT_EQ(found.size(), 1u);
    int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(PostWithDescriptor(found[0], {kWmClose, 0, 0}, fd));
    ::close(fd);
    ASSERT_TRUE(CWindowEndpoint::Post(found[0], {kWmClose, 3, 4}));
    const size_t before = OpenDescriptors();
    EndpointRecord record;
    ASSERT_TRUE(endpoint.Receive(record));
    EXPECT_EQ(record, (EndpointRecord{kWmClose, 3, 4}));
    EXPECT_FALSE(endpoint.Receive(record));
    EXPECT_EQ(OpenDescriptors(), before);
}

// The program's own messages carry pointers (progress notices, path picks, sort requests) or
// decide a login; none of them may come in from outside. Each is sent to every window of the
// explorer's title, then WM_CLOSE (which other programs may send) ends both windows.
TEST_F(ForeignMessageTest, TheExplorersOwnMessagesAreRefusedFromOutside) {
    CMessageBox::Recorder boxes;
    CTavikPDADoc document;
    CMainFrame frame(document);
    ASSERT_TRUE(frame.Create());
    auto* view = new CTavikPDAView(document, &frame);
    view->AttachToFrame(frame);
    frame.show();
    CLoginDlg dialog(true);
    dialog.show();
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QSignalSpy frameClosed(&frame, &CMainFrame::closed);

    std::vector<std::string> windows = ExplorerWindows();
    ASSERT_EQ(windows.size(), 2u);
    const EndpointRecord rows[] = {
        {WM_UPLOAD_PROGRESS, 0, 1},
        {WM_DOWNLOAD_PROGRESS, 0, 0x7fff0000},
        {WM_TRANSFER_DIALOG_GONE, 0, 1},
        {WM_LOCAL_PATH_CHOSEN, 0, 0x1000},
        {WM_REMOTE_PATH_CHOSEN, 0, 0x1000},
        {WM_LOCAL_SORT, 0, 8},
        {WM_REMOTE_SORT, 0, 8},
        {WM_AUTHRESULT, 0, kAuthSucceeded},
        {CUpdateMgr::WM_UPDATE_NOTICE, 1000, 0},
    };
    for (const std::string& window : windows) {
        for (const EndpointRecord& row : rows) {
            ASSERT_TRUE(CWindowEndpoint::Post(window, row)) << row.msg;
        }
        ASSERT_TRUE(CWindowEndpoint::Post(window, {kWmClose, 0, 0}));
    }
    ASSERT_TRUE(WaitFor([&] { return !dialog.isVisible() && !frame.isVisible(); }));
    // Whatever the endpoints posted is delivered before the verdict.
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(accepted.count(), 0);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(frameClosed.count(), 1);
    EXPECT_TRUE(boxes.Boxes().empty());
}

// Another user's process can neither close the explorer nor offer updates; the same records from
// this user still work, which also shows the foreign ones were read and dropped first.
TEST_F(ForeignMessageTest, AnotherUsersProcessCannotCloseTheExplorerOrOfferUpdates) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "sending as another user needs root; not run as root";
    }
    CMessageBox::Recorder boxes([](const MessageBoxRequest&) { return IDCANCEL; });
    CUpdateMgr manager;
    ASSERT_EQ(manager.Init(ExecutablePath()), CUpdateMgr::kInitContinue);
    std::vector<std::string> updateWindow =
        CWindowEndpoint::Find(CWindowEndpoint::HandleName(manager.Handle()));
    ASSERT_EQ(updateWindow.size(), 1u);
    CLoginDlg dialog(true);
    dialog.show();
    std::vector<std::string> windows = ExplorerWindows();
    ASSERT_EQ(windows.size(), 1u);

    QSignalSpy finished(&dialog, &QDialog::finished);

    // Both of each pair wait in the socket before the event loop reads either.
    ASSERT_TRUE(PostAsOtherUser(updateWindow[0], {CUpdateMgr::WM_UPDATE_NOTICE, 1000, 0}));
    ASSERT_TRUE(CWindowEndpoint::Post(updateWindow[0], {CUpdateMgr::WM_UPDATE_NOTICE, 1000, 0}));
    ASSERT_TRUE(PostAsOtherUser(windows[0], {kWmClose, 0, 0}));
    ASSERT_TRUE(CWindowEndpoint::Post(windows[0], {kWmClose, 0, 0}));
    ASSERT_TRUE(WaitFor([&] { return !boxes.Boxes().empty() && !dialog.isVisible(); }));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

} // namespace
} // namespace tavik::app
