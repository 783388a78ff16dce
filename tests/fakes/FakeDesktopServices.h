#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BrindleApp/shell/Application.h"
#include "BrindleApp/shell/FileBrowser.h"
#include "BrindleApp/shell/LaunchAtLoginService.h"
#include "BrindleApp/shell/Updater.h"
#include "tests/fakes/Journal.h"

namespace brindle::testing {

class FakeApplication final : public shell::Application {
public:
    explicit FakeApplication(Journal& journal) : journal_(journal) {}
    void becomeAccessory() override {
        journal_.record("becomeAccessory");
        isAccessory = true;
    }
    void terminate() override { ++terminateCalls; }

    bool isAccessory = false;
    int terminateCalls = 0;

private:
    Journal& journal_;
};

class FakeFileBrowser final : public shell::FileBrowser {
public:
    void openFolder(const Path& folder) override { opened.push_back(folder); }
    std::vector<Path> opened;
};

class FakeUpdater final : public shell::Updater {
public:
    void checkForUpdates() override { ++checks; }
    int checks = 0;
};

// Registration moves the status to enabled, unregistration to notRegistered, unless
// the next call is set to fail.
class FakeLaunchAtLoginService final : public shell::LaunchAtLoginService {
public:
    shell::LaunchAtLoginStatus status() override { return current; }
    void registerApplication() override {
        ++registerCalls;
        if (failure) throw std::runtime_error(*failure);
        current = shell::LaunchAtLoginStatus::enabled;
    }
    void unregisterApplication() override {
        ++unregisterCalls;
        if (failure) throw std::runtime_error(*failure);
        current = shell::LaunchAtLoginStatus::notRegistered;
    }

    shell::LaunchAtLoginStatus current = shell::LaunchAtLoginStatus::notRegistered;
    std::optional<std::string> failure;
    int registerCalls = 0;
    int unregisterCalls = 0;
};

}  // namespace brindle::testing
