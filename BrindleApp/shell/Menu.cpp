#include "BrindleApp/shell/Menu.h"

namespace brindle::shell {

std::shared_ptr<MenuItem> Menu::addItem(std::string title, std::string keyEquivalent, std::function<void()> action) {
    auto item = std::make_shared<MenuItem>();
    item->title = std::move(title);
    item->keyEquivalent = std::move(keyEquivalent);
    item->action = std::move(action);
    items.push_back(item);
    return item;
}

void Menu::addSeparator() {
    auto item = std::make_shared<MenuItem>();
    item->isSeparator = true;
    items.push_back(std::move(item));
}

}  // namespace brindle::shell
