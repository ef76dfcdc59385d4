// A push button drawn from three images of our own art: up, down (pressed) and disabled, the
// matching one centred in the button. It carries an accessible name, since it shows no text.
// Threads: user-interface thread.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace tavik::app {

class ImageButton : public QAbstractButton {
    Q_OBJECT

public:
    ImageButton(const QString& accessibleName, QWidget* parent);

    // The three images (resource paths); a missing image leaves that state blank.
    void LoadImages(const QString& up, const QString& down, const QString& disabled);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap up_;
    QPixmap down_;
    QPixmap disabled_;
};

} // namespace tavik::app
