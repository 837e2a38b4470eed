// What the window shows for each command: menu layout, status-bar prompts,
// tooltips and the labels of the command bar.
#pragma once

#include <span>

struct CommandText {
    unsigned id;
    const char* prompt;   // status bar, UTF-8; may be empty
    const char* tooltip;  // toolbar, UTF-8; may be empty
};

// One entry of a menu: id 0 is a separator.
struct MenuItem {
    unsigned id;
    const char* text;   // with its mnemonic
    const char* label;  // shortcut text shown after a tab, display only; may be empty
};

struct MenuDef {
    const char* title;
    std::span<const MenuItem> items;
};

struct CommandBarItem {
    unsigned id;
    const char* label;
    const char* prompt;   // status bar, UTF-8
    const char* tooltip;  // UTF-8
};

std::span<const MenuDef> MenuBar();
// The items of a submenu a menu item opens (empty: the item is a command).
std::span<const MenuItem> SubMenuItems(unsigned id);
std::span<const CommandText> CommandTexts();
const CommandText* FindCommandText(unsigned id);
// Commands that no menu, toolbar button or key carries.
std::span<const CommandBarItem> CommandBarItems();
