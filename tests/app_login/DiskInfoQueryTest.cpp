// The disk-information query against a scripted peer: the request's bytes, every kind of reply
// the query must decide (or leave to the watchdog), and servers that do not answer at all.
#include "tests/app_login/LoginHarness.h"

#include "app/login/CAuthProgressDlg.h"
#include "app/login/QueryDiskInfo.h"

#include "platform/AnsiCodePage.h"

#include "tests/support/CFakeDiskServer.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <set>

namespace tavik::test {
namespace {

const QString kStalled = QStringLiteral("현재 네트워크 상태를 체크하신 후 다시 접속해주십시오!");

struct Disk {
    std::u16string loginId, diskId, diskName, serverAddress;
    bool operator==(const Disk&) const = default;
};

void PrintTo(const Disk& disk, std::ostream* out) {
    *out << "{" << QString::fromStdU16String(disk.loginId).toStdString() << ", "
         << QString::fromStdU16String(disk.diskId).toStdString() << ", "
         << QString::fromStdU16String(disk.diskName).toStdString() << ", "
         << QString::fromStdU16String(disk.serverAddress).toStdString() << "}";
}

std::vector<Disk> disksOf(const std::vector<app::DiskEntry>& entries) {
    std::vector<Disk> disks;
    for (const app::DiskEntry& entry : entries) {
        EXPECT_TRUE(entry.spare.empty());
        EXPECT_EQ(entry.session, nullptr);
        disks.push_back({entry.loginId, entry.diskId, entry.diskName, entry.serverAddress});
    }
    return disks;
}

class RecordingOwner : public app::CDiskListOwner {
public:
    void TakeDiskList(std::vector<app::DiskEntry> disks) override {
        ++calls;
        received = std::move(disks);
    }
    int calls = 0;
    std::vector<app::DiskEntry> received;
};

const std::string kFields = "&tavikinfofield=diskid%7Cdiskname%7Cserverip%7Cloginid%7C";

// count disks: d<i>, "디스크 <i>" (form-encoded in CP949), 127.0.0.<i>, demo.
std::string diskValues(int count) {
    std::string values;
    for (int i = 1; i <= count; ++i) {
        std::string n = std::to_string(i);
        values += "d" + n + "%7C" + platform::toAnsi(u"디스크") + "+" + n + "%7C127%2E0%2E0%2E" +
                  n + "%7Cdemo%7C";
    }
    return values;
}

std::vector<Disk> expectedDisks(int count) {
    std::vector<Disk> disks;
    for (int i = 1; i <= count; ++i) {
        std::u16string n = QString::number(i).toStdU16String();
        disks.push_back({u"demo", u"d" + n, u"디스크 " + n, u"127.0.0." + n});
    }
    return disks;
}

std::vector<Bytes> cut(const Bytes& frame, size_t piece) {
    std::vector<Bytes> pieces;
    for (size_t at = 0; at < frame.size(); at += piece) {
        pieces.emplace_back(frame.begin() + at, frame.begin() + std::min(frame.size(), at + piece));
    }
    return pieces;
}

struct QueryRow {
    const char* name;
    std::vector<Bytes> pieces;
    bool startLoggedIn;
    bool expectedResult;
    bool expectedLoggedIn;
    // Null: the owner is not called.
    std::optional<std::vector<Disk>> expectedDisks;
    QStringList expectedBoxes;
    // The bar the dialog is left at when the query leaves it to the watchdog; 0: closed.
    int leftAtDiskStep;
};

std::vector<QueryRow> queryRows() {
    const std::string ok = "&inform=GetDiskInfo" + kFields;
    return {
        {"two disks from eight values",
         {diskInfoFrame(ok + "&tavikinfo=" + diskValues(2))},
         false,
         true,
         true,
         expectedDisks(2),
         {},
         0},
        {"forty disks in pieces under 1024 bytes",
         cut(diskInfoFrame(ok + "&tavikinfo=" + diskValues(40)), 700),
         false,
         true,
         true,
         expectedDisks(40),
         {},
         0},
        {"an empty value list is an empty list",
         {diskInfoFrame(ok + "&tavikinfo=")},
         false,
         true,
         true,
         std::vector<Disk>{},
         {},
         0},
        {"a record without a wanted field stays empty in its place",
         {diskInfoFrame("&inform=GetDiskInfo&tavikinfofield=diskid%7Cdiskname%7Cserverip%7Cx%7C"
                        "&tavikinfo=d1%7Cone%7C127%2E0%2E0%2E1%7Cy%7C")},
         false,
         true,
         true,
         std::vector<Disk>{Disk{}},
         {},
         0},
        {"seven values for four names",
         {diskInfoFrame(ok + "&tavikinfo=d1%7Ca%7Cb%7Cc%7Cd2%7Ce%7Cf%7C")},
         true,
         false,
         true,
         std::nullopt,
         {},
         30},
        {"no inform",
         {diskInfoFrame(kFields + "&tavikinfo=")},
         true,
         false,
         true,
         std::nullopt,
         {},
         10},
        {"refused with errmsg and errorcode",
         {diskInfoFrame("&inform=Error&errmsg=" + platform::toAnsi(u"없는") +
                        "+user&errorcode=404")},
         true,
         false,
         false,
         std::nullopt,
         {QStringLiteral("없는 user\n404")},
         0},
        {"refused without errorcode",
         {diskInfoFrame("&inform=Error&errmsg=no")},
         true,
         false,
         false,
         std::nullopt,
         {QStringLiteral("잘못된 정보가 내려왔습니다. ")},
         0},
    };
}

// The request's text pairs as they travel (still form-encoded), and whether the frame's two
// lengths agree with it.
std::set<std::string> requestPairs(const Bytes& frame, std::string& text) {
    std::string scrambled(frame.begin() + 8, frame.end());
    Bytes clear = formScramble(scrambled, false);
    text.assign(clear.begin(), clear.end());
    std::set<std::string> pairs;
    size_t at = 0;
    while (at < text.size()) {
        size_t next = text.find('&', at + 1);
        pairs.insert(text.substr(at + 1, next == std::string::npos ? next : next - at - 1));
        at = next == std::string::npos ? text.size() : next;
    }
    return pairs;
}

class DiskInfoQueryTest : public LoginTest {
protected:
    app::DiskInfoQuery Query(uint16_t port) const {
        return {u"demo", u"@tavik.local", {"127.0.0.1", port}, -1, u""};
    }
};

TEST_F(DiskInfoQueryTest, RepliesAreDecidedOrLeftToTheWatchdog) {
    bool withTicket = false;
    for (const QueryRow& row : queryRows()) {
        SCOPED_TRACE(row.name);
        // Every other row carries the login's ticket, which travels as one more pair.
        withTicket = !withTicket;
        app::CAuthProgressDlg* progress = app::CAuthProgressDlg::CreateGlobal();
        progress->StartWatchdog();
        Bytes request;
        CFakeDiskServer peer;
        peer.custom("request",
                    [&](int s, std::string& why) { return readDiskInfoFrame(s, request, why); });
        for (const Bytes& piece : row.pieces) {
            peer.sendRaw(piece).stall(20);
        }
        peer.start();

        RecordingOwner owner;
        bool loggedIn = row.startLoggedIn;
        app::DiskInfoQuery query = Query(peer.port());
        query.ticket = withTicket ? u"0f3a9c" : u"";
        EXPECT_EQ(app::QueryDiskInfo(query, owner, loggedIn), row.expectedResult);
        ASSERT_TRUE(peer.finish());
        EXPECT_EQ(loggedIn, row.expectedLoggedIn);
        EXPECT_EQ(BoxTexts(), row.expectedBoxes);
        if (row.expectedDisks) {
            EXPECT_EQ(owner.calls, 1);
            EXPECT_EQ(disksOf(owner.received), *row.expectedDisks);
        } else {
            EXPECT_EQ(owner.calls, 0);
        }
        if (row.leftAtDiskStep == 0) {
            EXPECT_EQ(app::CAuthProgressDlg::Global(), nullptr);
        } else {
            ASSERT_EQ(app::CAuthProgressDlg::Global(), progress);
            EXPECT_EQ(progress->DiskStep(), row.leftAtDiskStep);
            EXPECT_TRUE(progress->WatchdogActive());
        }

        // Binary frame: T = N + 8 and N, little-endian; the scrambled text begins with "&".
        ASSERT_GE(request.size(), 8u);
        EXPECT_EQ(request[0] | request[1] << 8 | request[2] << 16 | request[3] << 24,
                  static_cast<int>(request.size()));
        EXPECT_EQ(request[4] | request[5] << 8 | request[6] << 16 | request[7] << 24,
                  static_cast<int>(request.size() - 8));
        std::string text;
        std::set<std::string> pairs = requestPairs(request, text);
        EXPECT_TRUE(text.starts_with("&")) << text;
        std::set<std::string> expectedPairs = {"cmd=GetDiskInfo",
                                               "serviceType=", "username=demo%40tavik%2Elocal"};
        if (withTicket) {
            expectedPairs.insert("ticket=0f3a9c");
        }
        EXPECT_EQ(pairs, expectedPairs);
        ResetForNextRow();
    }
}

// A port on which nothing listens (connect refused).
uint16_t refusingPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    close(s);
    return ntohs(address.sin_port);
}

// A listener whose accept queue is full: the kernel drops further connection requests, so a
// connect to it never completes (the client's own bound must end it).
class FullListener {
public:
    FullListener() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
        listen(listener_, 0);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        for (int& filler : fillers_) {
            filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(filler, reinterpret_cast<sockaddr*>(&address), size);
        }
        // Let the kernel queue the fillers before the client tries.
        waitFor([] { return false; }, 200);
    }
    ~FullListener() {
        for (int filler : fillers_) {
            close(filler);
        }
        close(listener_);
    }
    uint16_t port() const { return port_; }

private:
    int listener_ = -1;
    int fillers_[2] = {-1, -1};
    uint16_t port_ = 0;
};

// Servers that never answer: the query gives up within its budget (four fifths of the watchdog
// period, which this test shortens), the event loop turns again and the watchdog reports the
// stalled step once and closes the progress dialog.
TEST_F(DiskInfoQueryTest, UnansweredQueryEndsWithTheWatchdogMessage) {
    struct Silent {
        const char* name;
        std::function<uint16_t(CFakeDiskServer&, std::optional<FullListener>&)> server;
    };
    std::vector<Silent> rows = {
        {"connect refused",
         [](CFakeDiskServer& peer, std::optional<FullListener>&) {
             peer.start();
             return refusingPort();
         }},
        {"peer takes the request and stays silent",
         [](CFakeDiskServer& peer, std::optional<FullListener>&) {
             peer.custom("request",
                         [](int s, std::string& why) {
                             Bytes frame;
                             return readDiskInfoFrame(s, frame, why);
                         })
                 .expectClosed()
                 .start();
             return peer.port();
         }},
        {"connect never completes",
         [](CFakeDiskServer& peer, std::optional<FullListener>& full) {
             peer.start();
             full.emplace();
             return full->port();
         }},
    };
    for (const Silent& row : rows) {
        SCOPED_TRACE(row.name);
        app::CAuthProgressDlg* progress = app::CAuthProgressDlg::CreateGlobal();
        progress->SetWatchdogPeriod(600);
        progress->StartWatchdog();
        CFakeDiskServer peer;
        std::optional<FullListener> full;
        uint16_t port = row.server(peer, full);

        RecordingOwner owner;
        bool loggedIn = true;
        EXPECT_FALSE(app::QueryDiskInfo(Query(port), owner, loggedIn));
        EXPECT_TRUE(loggedIn);
        EXPECT_TRUE(BoxTexts().isEmpty());
        ASSERT_TRUE(waitFor([] { return app::CAuthProgressDlg::Global() == nullptr; }));
        EXPECT_EQ(BoxTexts(), QStringList{kStalled});
        EXPECT_EQ(owner.calls, 0);
        EXPECT_TRUE(peer.finish());
        ResetForNextRow();
    }
}

} // namespace
} // namespace tavik::test
