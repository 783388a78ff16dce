#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "BrindleApp/shell/Menu.h"

namespace brindle::shell {

// The spinner that turns in the item's title while a backup runs.
inline constexpr std::array<std::string_view, 4> animationFrames {"|", "/", "-", "\\"};

// What the status item shows: idle, or a backup running with the spinner at one of
// its frames. The shell owns the frame; the platform draws exactly this look.
struct StatusLook {
    // 0 to 3 while a backup runs; nothing while idle.
    std::optional<int> syncingFrame;

    // "Brindle" while idle, "Saving " and the spinner's frame while a backup runs.
    std::string title() const {
        return syncingFrame ? "Saving " + std::string(animationFrames.at(static_cast<std::size_t>(*syncingFrame)))
                            : "Brindle";
    }
    // What the icon stands for, for assistive technology and a tooltip's heading.
    std::string accessibilityDescription() const { return syncingFrame ? "Backing up" : "Brindle"; }

    friend bool operator==(const StatusLook&, const StatusLook&) = default;
};

// The application's item in the system status bar (the tray).
class StatusItem {
public:
    virtual ~StatusItem() = default;

    // The idle look shows a drive, the syncing look arrows turned to the frame.
    virtual void setLook(const StatusLook& look) = 0;

    // Replaces the menu shown when the item is clicked. Before each opening the
    // platform calls menu.willOpen on its own copy and shows the items as they then
    // read; a chosen item's command goes to menu.perform once the menu has closed.
    virtual void setMenu(Menu menu) = 0;
};

}  // namespace brindle::shell
