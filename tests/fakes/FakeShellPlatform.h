#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "BrindleApp/shell/BackgroundRunner.h"
#include "BrindleApp/shell/Desktop.h"
#include "BrindleApp/shell/LaunchAtLoginService.h"
#include "BrindleApp/shell/StatusItem.h"

namespace brindle::testing {

// Keeps every look drawn and the last menu, which a test opens like a user.
class FakeStatusItem final : public shell::StatusItem {
public:
    void setLook(const shell::StatusLook& look) override { looks.push_back(look); }
    void setMenu(shell::Menu newMenu) override { menu = std::move(newMenu); ++menusSet; }

    // The status line as the menu reads when it opens.
    std::string statusLine() {
        shell::Menu shown = menu;
        shown.willOpen(shown);
        return shown.items.front().title;
    }
    const shell::MenuItem& item(std::string_view title) const {
        for (const auto& entry : menu.items)
            if (entry.title == title) return entry;
        throw std::logic_error("no menu item " + std::string(title));
    }

    std::vector<shell::StatusLook> looks;
    shell::Menu menu;
    int menusSet = 0;
};

// A modal panel "stays up" while its whileOpen runs; a test passes time there, as the
// event loop under a real panel would.
class FakeDesktop final : public shell::Desktop {
public:
    void showError(const std::string& messageText, const std::string& informativeText) override {
        alerts.emplace_back(messageText, informativeText);
        if (whileAlertOpen) whileAlertOpen();
    }
    std::optional<Path> chooseFolder(const std::string& title, const Path& startingFolder) override {
        choosers.emplace_back(title, startingFolder);
        if (whileChooserOpen) whileChooserOpen();
        return chosenFolder;
    }
    void openFolder(const Path& folder) override { opened.push_back(folder); }
    void checkForUpdates() override { ++updateChecks; }
    void terminate() override { ++terminations; }

    // Headline and informative text of each alert shown.
    std::vector<std::pair<std::string, std::string>> alerts;
    std::function<void()> whileAlertOpen;
    // Title and starting folder of each chooser shown, and its answer (none: cancelled).
    std::vector<std::pair<std::string, Path>> choosers;
    std::function<void()> whileChooserOpen;
    std::optional<Path> chosenFolder;
    std::vector<Path> opened;
    int updateChecks = 0;
    int terminations = 0;
};

// Registering enables, unregistering disables, unless `failure` is set.
class FakeLaunchAtLogin final : public shell::LaunchAtLoginService {
public:
    shell::LaunchAtLoginStatus status() override { return current; }
    void registerApplication() override { change(shell::LaunchAtLoginStatus::enabled); }
    void unregisterApplication() override { change(shell::LaunchAtLoginStatus::notRegistered); }

    shell::LaunchAtLoginStatus current = shell::LaunchAtLoginStatus::notRegistered;
    std::optional<std::string> failure;

private:
    void change(shell::LaunchAtLoginStatus to) {
        if (failure) throw std::runtime_error(*failure);
        current = to;
    }
};

// Holds each piece of work until the test runs it, on the test's own thread.
class FakeBackgroundRunner final : public shell::BackgroundRunner {
public:
    void start(Work work) override {
        // As when no thread can be had.
        if (refuseToStart) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        waiting.push_back(std::move(work));
    }
    void runNext() {
        if (waiting.empty()) throw std::logic_error("no background work waiting");
        Work work = std::move(waiting.front());
        waiting.pop_front();
        work();
    }

    std::deque<Work> waiting;
    bool refuseToStart = false;
};

}  // namespace brindle::testing
