#include "app/explorer/ExplorerKeys.h"

#include "app/explorer/ExplorerIds.h"

namespace tavik::app {

namespace {

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;

struct Row {
    int key;
    Qt::KeyboardModifiers modifiers;
    KeyBinding binding;
};

const Row kBindings[] = {
    {Qt::Key_Return, kNone, {KeyAction::Open}},
    {Qt::Key_Enter, kNone, {KeyAction::Open}},
    {Qt::Key_Backspace, kNone, {KeyAction::Up}},
    {Qt::Key_Up, Qt::AltModifier, {KeyAction::Up}},
    {Qt::Key_F5, kNone, {KeyAction::Command, ID_REFRESH}},
    {Qt::Key_F2, kNone, {KeyAction::Command, ID_RENAME}},
    {Qt::Key_Delete, kNone, {KeyAction::Command, ID_DELETE}},
    {Qt::Key_A, Qt::ControlModifier, {KeyAction::Command, ID_SELECT_ALL}},
    {Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier, {KeyAction::Command, ID_NEW_FOLDER}},
    {Qt::Key_H, Qt::ControlModifier, {KeyAction::ToggleHiddenFiles}},
    {Qt::Key_Escape, kNone, {KeyAction::CancelTransfer}},
    {Qt::Key_Menu, kNone, {KeyAction::RowMenu}},
    {Qt::Key_F10, Qt::ShiftModifier, {KeyAction::RowMenu}},
    {Qt::Key_Tab, kNone, {KeyAction::OtherPane}},
    // Shift+Tab arrives as Backtab, with or without the Shift flag.
    {Qt::Key_Backtab, kNone, {KeyAction::OtherPane}},
    {Qt::Key_Backtab, Qt::ShiftModifier, {KeyAction::OtherPane}},
    {Qt::Key_Tab, Qt::ShiftModifier, {KeyAction::OtherPane}},
};

} // namespace

KeyBinding ExplorerKeyBinding(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers significant =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    for (const Row& row : kBindings) {
        if (row.key == key && row.modifiers == significant) {
            return row.binding;
        }
    }
    return {};
}

} // namespace tavik::app
