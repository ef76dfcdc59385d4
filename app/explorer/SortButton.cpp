#include "app/explorer/SortButton.h"

#include "app/explorer/CPopupMenu.h"
#include "app/explorer/PaneText.h"
#include "app/socket/CWindowMessage.h"

namespace tavik::app {

namespace {

struct SortKey {
    int id;
    const char16_t* text;
    SortRequest request;
};

constexpr SortKey kKeys[] = {
    {ID_SORT_NAME, u"이름", {0, 1, 0}},
    {ID_SORT_DATE, u"마지막 수정일자", {0, 1, 3}},
    {ID_SORT_SIZE, u"크기", {1, 1, 1}},
    {ID_SORT_TYPE, u"종류", {0, 1, 2}},
};

const SortKey* FindKey(int id) {
    for (const SortKey& key : kKeys) {
        if (key.id == id) {
            return &key;
        }
    }
    return nullptr;
}

} // namespace

SortButton::SortButton(unsigned sortMessage, QWidget* parent)
    : MenuButton(parent), sortMessage_(sortMessage) {
    setAutoDefault(false);
    setFlat(true);
    setAccessibleName(QStringLiteral("정렬"));
    menu_.setObjectName(QStringLiteral("Sort"));
    for (const SortKey& key : kKeys) {
        QAction* item = CPopupMenu::AddItem(menu_, QString::fromUtf16(key.text), key.id);
        item->setCheckable(true);
    }
    setText(QStringLiteral("이름") + kArrowSuffix);
    setAccessibleDescription(QStringLiteral("이름"));
    // Space and the accessible press click the button; the mouse opens the menu on press.
}

SortRequest SortButton::RequestFor(int commandId) {
    const SortKey* key = FindKey(commandId);
    return key ? key->request : SortRequest{0, 1, -1};
}

void SortButton::Choose(int commandId) {
    const SortKey* key = FindKey(commandId);
    if (key == nullptr) {
        return;
    }
    currentKey_ = commandId;
    setText(QString::fromUtf16(key->text) + kArrowSuffix);
    setAccessibleDescription(QString::fromUtf16(key->text));
    const SortRequest request = key->request;
    CWindowMessage::Send(notifyWindow_, sortMessage_, 0, reinterpret_cast<LPARAM>(&request));
}

void SortButton::OpenMenu() {
    for (QAction* item : menu_.actions()) {
        item->setChecked(CPopupMenu::CommandOf(item) == currentKey_);
    }
    setDown(true);
    QAction* picked = CPopupMenu::Run(menu_, mapToGlobal(QPoint(0, height())));
    setDown(false);
    Choose(CPopupMenu::CommandOf(picked));
}

} // namespace tavik::app
