#pragma once

#include <memory>
#include <string>

#include "BrindleApp/shell/Menu.h"

namespace brindle::shell {

enum class ImagePosition {
    imageLeading,  // the image before the title, in reading direction
};

// The clickable part of the status item: an icon and a text beside it.
class StatusButton {
public:
    virtual ~StatusButton() = default;

    // Shows the platform icon named `iconName` ("externaldrive.badge.icloud",
    // "arrow.triangle.2.circlepath"), described to assistive technology by
    // `accessibilityDescription`. An unknown name leaves the button without an image.
    virtual void setImage(const std::string& iconName, const std::string& accessibilityDescription) = 0;
    virtual bool hasImage() const = 0;
    // Draws the current image in the status bar's monochrome style.
    virtual void setImageTemplate(bool isTemplate) = 0;
    virtual void setImagePosition(ImagePosition position) = 0;
    virtual void setTitle(const std::string& title) = 0;
};

// The application's item in the system status bar (the tray).
class StatusItem {
public:
    virtual ~StatusItem() = default;

    // The item's button, or null where the platform gives the item none; the shell
    // then leaves its appearance alone.
    virtual StatusButton* button() = 0;

    // Replaces the menu shown when the item is clicked; the old one is released.
    // Before each opening the platform calls menu->willOpen() and then shows every
    // item as it is at that moment, so a title changed by willOpen is what the
    // user sees.
    virtual void setMenu(std::shared_ptr<Menu> menu) = 0;
};

}  // namespace brindle::shell
