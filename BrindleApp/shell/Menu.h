#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "BrindleApp/shell/RelativeDateFormatter.h"

namespace brindle::shell {

// What the menu's items ask the shell to do.
enum class Command { backUpNow, openBackupFolder, chooseBackupFolder, toggleLaunchAtLogin, checkForUpdates, quit };

// One line of a menu; plain data that the platform draws.
struct MenuItem {
    bool isSeparator = false;
    std::string title;
    // One character used with the platform's command modifier; empty for none.
    std::string keyEquivalent;
    // None for a line that cannot be chosen, which is shown disabled.
    std::optional<Command> command;
    // Set for a switch, drawn with a check box ticked when true.
    std::optional<bool> checked;

    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

struct Menu {
    // Top to bottom.
    std::vector<MenuItem> items;
    // Called just before each opening, with the menu about to be shown; may retitle items.
    std::function<void(Menu&)> willOpen;
    // Called with the command of the item the user chose.
    std::function<void(Command)> perform;
};

// The status menu's items: the status line, then the commands, with "Launch at Login"
// ticked when `launchAtLogin` is on.
std::vector<MenuItem> statusMenuItems(const std::string& statusLine, bool launchAtLogin);

// The status line, by the first rule that applies: a run in progress, the age of the
// last backup (under a minute, or dated in the future, is "just now"), the last error,
// else ready.
std::string statusTitle(bool isBackingUp, const std::optional<Timestamp>& lastBackupCreatedAt,
                        const std::optional<std::string>& lastError, Timestamp now,
                        RelativeDateFormatter& formatter);

}  // namespace brindle::shell
