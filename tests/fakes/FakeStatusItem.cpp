#include "tests/fakes/FakeStatusItem.h"

#include <stdexcept>

namespace brindle::testing {

void FakeStatusButton::setImage(const std::string& iconName, const std::string& description) {
    journal_.record("setImage " + iconName);
    if (knownIcons.contains(iconName)) {
        image = iconName;
    } else {
        image.reset();
    }
    accessibilityDescription = description;
    imageIsTemplate = false;  // a new image starts in full colour
}

void FakeStatusButton::setImageTemplate(bool isTemplate) {
    imageIsTemplate = isTemplate;
}

void FakeStatusButton::setImagePosition(shell::ImagePosition position) {
    journal_.record("setImagePosition");
    imagePosition = position;
}

void FakeStatusButton::setTitle(const std::string& newTitle) {
    journal_.record("setTitle " + newTitle);
    title = newTitle;
    titleHistory.push_back(newTitle);
}

FakeStatusItem::FakeStatusItem(Journal& journal, bool withButton)
    : journal_(journal), button_(withButton ? std::make_unique<FakeStatusButton>(journal) : nullptr) {}

void FakeStatusItem::setMenu(std::shared_ptr<shell::Menu> newMenu) {
    const std::string first = newMenu && !newMenu->items.empty() ? newMenu->items.front()->title : "";
    journal_.record("setMenu " + first);
    menu = std::move(newMenu);
    ++menusSet;
}

std::vector<std::string> FakeStatusItem::open() {
    if (!menu) throw std::logic_error("no menu to open");
    if (menu->willOpen) menu->willOpen();
    std::vector<std::string> titles;
    for (const auto& entry : menu->items) titles.push_back(entry->isSeparator ? "---" : entry->title);
    return titles;
}

shell::MenuItem& FakeStatusItem::item(std::string_view title) {
    if (!menu) throw std::logic_error("no menu");
    for (const auto& entry : menu->items) {
        if (!entry->isSeparator && entry->title == title) return *entry;
    }
    throw std::logic_error("no menu item " + std::string(title));
}

void FakeStatusItem::choose(std::string_view title) {
    shell::MenuItem& chosen = item(title);
    if (!chosen.enabled || !chosen.action) throw std::logic_error("menu item cannot be chosen");
    chosen.action();
}

std::string FakeStatusItem::statusLine() {
    return open().front();
}

}  // namespace brindle::testing
