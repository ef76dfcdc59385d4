// Window messages: the message map runs on the window's thread whoever sends or posts.
#include "app/shell/CMessageBox.h"
#include "app/socket/CMessageWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace tavik::app {
namespace {

class CRecordingWindow : public CMessageWindow {
public:
    struct Seen {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        bool onOwnThread;
    };
    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        seen.push_back({msg, wParam, lParam, QThread::currentThread() == thread()});
        return static_cast<LRESULT>(wParam) * 10 + lParam;
    }
    std::vector<Seen> seen;
};

TEST(WindowMessageTest, PostAndSendFromAnyThreadRunOnTheWindowsThread) {
    CRecordingWindow window;
    // The user range only: Qt's own event numbers are not messages.
    EXPECT_FALSE(CWindowMessage::Post(&window, 16, 0, 0));
    EXPECT_EQ(CWindowMessage::Send(&window, 999, 1, 2), 0);
    EXPECT_FALSE(CWindowMessage::Post(nullptr, 2024, 0, 0));
    EXPECT_EQ(CWindowMessage::Send(&window, 2077, 3, 4), 34); // same thread: at once
    ASSERT_EQ(window.seen.size(), 1u);

    std::atomic<LRESULT> sentResult{-1};
    std::atomic<bool> done{false};
    std::thread other([&] {
        for (LPARAM i = 0; i < 5; ++i) {
            CWindowMessage::Post(&window, 2024, 300, i);
        }
        // Blocks until the window's thread has handled it, after the posts before it.
        sentResult = CWindowMessage::Send(&window, 0x8002, 7, 1);
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
    other.join();
    EXPECT_EQ(sentResult.load(), 71);
    ASSERT_EQ(window.seen.size(), 7u);
    for (LPARAM i = 0; i < 5; ++i) {
        EXPECT_EQ(window.seen[1 + i].msg, 2024u);
        EXPECT_EQ(window.seen[1 + i].lParam, i);
    }
    EXPECT_EQ(window.seen[6].msg, 0x8002u);
    for (const auto& seen : window.seen) {
        EXPECT_TRUE(seen.onOwnThread);
    }

    // Messages posted to a window that goes away are dropped with it.
    auto doomed = std::make_unique<CRecordingWindow>();
    CWindowMessage::Post(doomed.get(), 2024, 100, 0);
    doomed.reset();
    QCoreApplication::processEvents();
}

TEST(MessageBoxTest, AnsweredBoxesAreRecordedAndShownBoxesAnswerByButton) {
    {
        CMessageBox::Recorder boxes(
            [](const MessageBoxRequest& box) { return box.HasCancel() ? IDCANCEL : IDOK; });
        EXPECT_EQ(CMessageBox::Show(QStringLiteral("연결 실패!"), QStringLiteral("TAVIK"),
                                    MB_OK | MB_ICONERROR),
                  IDOK);
        EXPECT_EQ(CMessageBox::Show(QStringLiteral("TAVIK 탐색기를 종료 하시겠습니까?"), {},
                                    MB_OKCANCEL | MB_ICONQUESTION),
                  IDCANCEL);
        ASSERT_EQ(boxes.Boxes().size(), 2u);
        EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("연결 실패!"));
        EXPECT_EQ(boxes.Boxes()[0].Icon(), MB_ICONERROR);
        EXPECT_EQ(boxes.Boxes()[1].caption, QStringLiteral("TAVIK"));
        EXPECT_TRUE(boxes.Boxes()[1].HasCancel());
    }

    // Without an answerer the box is on screen: press a button by its accessible name.
    const struct {
        unsigned style;
        const char* press; // nullptr: close with Escape
        int answer;
    } rows[] = {
        {MB_OK, "확인", IDOK},
        {MB_OK | MB_ICONWARNING, nullptr, IDOK},
        {MB_OKCANCEL, "확인", IDOK},
        {MB_OKCANCEL, "취소", IDCANCEL},
        {MB_OKCANCEL | MB_ICONQUESTION, nullptr, IDCANCEL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.press ? row.press : "Escape");
        QString seenText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seenText = box->text();
            if (row.press == nullptr) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QPushButton* button : box->findChildren<QPushButton*>()) {
                if (button->accessibleName() == QString::fromUtf8(row.press)) {
                    button->click();
                    return;
                }
            }
            box->done(-1);
            ADD_FAILURE() << "no button " << row.press;
        });
        EXPECT_EQ(CMessageBox::Show(QStringLiteral("질문"), {}, row.style), row.answer);
        EXPECT_EQ(seenText, QStringLiteral("질문"));
    }
}

} // namespace
} // namespace tavik::app
