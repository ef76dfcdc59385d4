// The program's one message box: every box of the program is shown through CMessageBox::Show,
// so that a test (or an automatic run) can answer it and read what it said.
//
// Styles and answers keep the handheld's numbers: MB_OK / MB_OKCANCEL with one of the icons;
// the answer is IDOK or IDCANCEL. A box with no caption gets the program's name "TAVIK".
// Without an answerer the box is a modal QMessageBox with the buttons "확인" and "취소";
// with one, nothing is shown and the answerer's result is returned (IDOK when it gives 0).
//
// Threads: the user-interface thread shows boxes. The answerer is process-wide and may be
// installed from any thread.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace tavik::app {

inline constexpr unsigned MB_OK = 0x00000000u;
inline constexpr unsigned MB_OKCANCEL = 0x00000001u;
inline constexpr unsigned MB_ICONERROR = 0x00000010u;
inline constexpr unsigned MB_ICONQUESTION = 0x00000020u;
inline constexpr unsigned MB_ICONWARNING = 0x00000030u;
inline constexpr unsigned MB_ICONINFORMATION = 0x00000040u;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// What a box asked, as an answerer sees it.
struct MessageBoxRequest {
    QString text;
    QString caption;
    unsigned style = MB_OK;

    unsigned Icon() const { return style & 0xF0u; }
    bool HasCancel() const { return (style & 0x0Fu) == MB_OKCANCEL; }
};

class CMessageBox {
public:
    using Answerer = std::function<int(const MessageBoxRequest&)>;

    // Shows the box (or asks the answerer) and returns IDOK or IDCANCEL. A box closed without a
    // choice answers IDCANCEL when it has that button, else IDOK.
    static int Show(const QString& text, const QString& caption = QString(), unsigned style = MB_OK,
                    QWidget* parent = nullptr);

    // Installs an answerer (an empty one removes it) and returns the one it replaces.
    static Answerer SetAnswerer(Answerer answerer);

    // A scope in which every box is answered by the given function and recorded.
    class Recorder {
    public:
        explicit Recorder(Answerer answerer = {});
        ~Recorder();
        Recorder(const Recorder&) = delete;
        Recorder& operator=(const Recorder&) = delete;
        // The boxes so far; read it on the thread that shows them.
        const std::vector<MessageBoxRequest>& Boxes() const;

    private:
        struct State;
        std::shared_ptr<State> state_;
        Answerer previous_;
    };
};

} // namespace tavik::app
