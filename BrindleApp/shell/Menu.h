#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brindle::shell {

// One line of a menu. Plain data: the platform draws it and calls `action` when the
// user chooses it.
struct MenuItem {
    bool isSeparator = false;
    std::string title;
    // One character used with the platform's command modifier; empty for none.
    std::string keyEquivalent;
    // Empty for an item that does nothing.
    std::function<void()> action;
    bool enabled = true;
    // A switch: drawn with a check box, ticked when `checked`.
    bool checkable = false;
    bool checked = false;
};

// A menu as the shell builds it, top to bottom. Items are shared so that the shell
// can keep a weak reference to one and retitle it while the menu is current.
struct Menu {
    std::vector<std::shared_ptr<MenuItem>> items;
    // Called by the platform just before each opening.
    std::function<void()> willOpen;

    std::shared_ptr<MenuItem> addItem(std::string title, std::string keyEquivalent, std::function<void()> action);
    void addSeparator();
};

}  // namespace brindle::shell
