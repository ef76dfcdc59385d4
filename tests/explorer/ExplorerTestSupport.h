// What the explorer's widget and view tests share: a window that records the messages sent to
// it, and a scope that answers every pop-up menu.
#pragma once

#include "app/explorer/CPopupMenu.h"
#include "app/explorer/ExplorerIds.h"
#include "app/socket/CWindowMessage.h"

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

namespace tavik::app {

// Records the path and sort messages it receives, decoding their lParam.
class MessageRecorder : public QObject {
public:
    struct Message {
        unsigned number;
        QString path;
        SortRequest sort;
    };
    std::vector<Message> messages;

    bool event(QEvent* event) override {
        auto* message = dynamic_cast<CWindowMessage*>(event);
        if (message == nullptr) {
            return QObject::event(event);
        }
        Message seen{message->message(), QString(), SortRequest{}};
        if (seen.number == WM_REMOTE_SORT || seen.number == WM_LOCAL_SORT) {
            seen.sort = *reinterpret_cast<const SortRequest*>(message->lParam());
        } else {
            seen.path = *reinterpret_cast<const QString*>(message->lParam());
        }
        messages.push_back(seen);
        return true;
    }
};

// Answers every menu with the item carrying pickId (none when 0), and records what was shown:
// the menu's name, and its items as "id text" with a "-" prefix for a greyed one.
class MenuAnswerer {
public:
    explicit MenuAnswerer(int pickId = 0) : pickId_(pickId) {
        previous_ = CPopupMenu::SetChooser([this](QMenu& menu, const QPoint&) -> QAction* {
            names.append(menu.objectName());
            QStringList shown;
            for (const QAction* item : menu.actions()) {
                shown.append((item->isEnabled() ? QString() : QStringLiteral("-")) +
                             QString::number(CPopupMenu::CommandOf(item)) + QLatin1Char(' ') +
                             item->text());
            }
            items.append(shown.join(QLatin1Char('|')));
            return pickId_ ? CPopupMenu::FindItem(menu, pickId_) : nullptr;
        });
    }
    ~MenuAnswerer() { CPopupMenu::SetChooser(previous_); }
    MenuAnswerer(const MenuAnswerer&) = delete;
    MenuAnswerer& operator=(const MenuAnswerer&) = delete;

    void Pick(int id) { pickId_ = id; }

    QStringList names;
    QStringList items;

private:
    int pickId_;
    CPopupMenu::Chooser previous_;
};

} // namespace tavik::app
