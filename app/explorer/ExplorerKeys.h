// What a key pressed in one of the explorer's lists does, decided from the key and its
// modifiers alone (the keypad flag is ignored, so both Enter keys open):
//   Return, Enter           open the row (a folder is entered, a disk connected, a file opened)
//   Backspace, Alt+Up       go up one folder (from a disk's root: back to the disk list)
//   F5 / F2 / Delete        refresh / rename / delete, as the menu commands
//   Ctrl+A / Ctrl+Shift+N   select all / new folder, as the menu commands
//   Ctrl+H                  show or hide dot files in My Device
//   Escape                  cancel the running transfer (its dialog asks first)
//   Menu, Shift+F10         the row's pop-up menu
//   Tab, Shift+Tab          the other pane
// Threads: any.
#pragma once

#include <Qt>

namespace tavik::app {

enum class KeyAction {
    None,
    Open,
    Up,
    Command, // a command of the view (KeyCommand gives its id)
    ToggleHiddenFiles,
    CancelTransfer,
    RowMenu,
    OtherPane,
};

struct KeyBinding {
    KeyAction action = KeyAction::None;
    int command = 0; // with KeyAction::Command
    bool operator==(const KeyBinding&) const = default;
};

KeyBinding ExplorerKeyBinding(int key, Qt::KeyboardModifiers modifiers);

} // namespace tavik::app
