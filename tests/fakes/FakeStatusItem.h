#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "BrindleApp/shell/StatusItem.h"
#include "tests/fakes/Journal.h"

namespace brindle::testing {

class FakeStatusButton final : public shell::StatusButton {
public:
    explicit FakeStatusButton(Journal& journal) : journal_(journal) {}

    void setImage(const std::string& iconName, const std::string& accessibilityDescription) override;
    bool hasImage() const override { return image.has_value(); }
    void setImageTemplate(bool isTemplate) override;
    void setImagePosition(shell::ImagePosition position) override;
    void setTitle(const std::string& newTitle) override;

    // Names the platform has icons for; any other name leaves the button without one.
    std::set<std::string> knownIcons {"externaldrive.badge.icloud", "arrow.triangle.2.circlepath"};

    std::optional<std::string> image;
    std::string accessibilityDescription;
    bool imageIsTemplate = false;
    std::optional<shell::ImagePosition> imagePosition;
    std::string title;
    std::vector<std::string> titleHistory;

private:
    Journal& journal_;
};

// The status item with its button (or none) and the menu it was last given, which a
// test can open and choose from like a user.
class FakeStatusItem final : public shell::StatusItem {
public:
    FakeStatusItem(Journal& journal, bool withButton = true);

    shell::StatusButton* button() override { return button_.get(); }
    void setMenu(std::shared_ptr<shell::Menu> newMenu) override;

    FakeStatusButton& fakeButton() { return *button_; }

    std::shared_ptr<shell::Menu> menu;
    int menusSet = 0;

    // Opens the current menu: the will-open hook, then the items as they now read.
    std::vector<std::string> open();
    // The current menu's command item with that title; throws when there is none.
    shell::MenuItem& item(std::string_view title);
    void choose(std::string_view title);
    std::string statusLine();

private:
    Journal& journal_;
    std::unique_ptr<FakeStatusButton> button_;
};

}  // namespace brindle::testing
