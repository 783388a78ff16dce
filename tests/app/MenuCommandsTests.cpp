#include <gtest/gtest.h>

#include "tests/app/ShellHarness.h"

namespace brindle::testing {
namespace {

using shell::Command;

TEST(Menu, CommandsReachTheDesktopWhichIsHandedOnlyAnExistingBackupFolder) {
    ShellHarness shell;
    const Path root = shell.folder / "Backups";
    shell.writeSettings({root.string(), {}, 30});
    shell.launchIdle();

    // The root comes from a file the user may edit: a script there must not be opened.
    shell.choose(Command::openBackupFolder);
    EXPECT_FALSE(shell.posix.examine(root).exists()) << "a missing root was created";
    writeFile(root, "#!/bin/sh\necho launched\n");
    shell.choose(Command::openBackupFolder);
    shell.posix.removeItem(root);
    makeFolder(root);
    shell.choose(Command::openBackupFolder);
    shell.choose(Command::checkForUpdates);
    shell.choose(Command::quit);
    EXPECT_EQ(shell.desktopCalls, (std::vector<std::string> {"open " + root.string(), "check for updates", "terminate"}));
    EXPECT_TRUE(shell.alerts.empty());
}

TEST(LaunchAtLogin, TheToggleSwitchesOrAlertsKeepingTheLastResult) {
    struct Case {
        bool enabled;
        std::optional<std::string> failure;
        bool haveResult;
    };
    for (const Case& c : std::vector<Case> {{false, std::nullopt, true}, {true, std::nullopt, true},
                                            {true, "Operation not permitted", true}, {false, "Operation not permitted", false}}) {
        SCOPED_TRACE(::testing::Message() << c.enabled << " " << c.failure.value_or("") << " " << c.haveResult);
        ShellHarness shell;
        if (!c.haveResult) shell.engine = [](const BackupSettings&) -> BackupResult { throw std::runtime_error("offline"); };
        shell.launchAtLogin = c.enabled;
        shell.launchIdle();
        shell.alerts.clear();
        shell.launchAtLoginFailure = c.failure;
        EXPECT_EQ(shell.launchAtLoginTicked(), c.enabled);
        shell.choose(Command::toggleLaunchAtLogin);

        const bool enabledNow = c.failure ? c.enabled : !c.enabled;
        EXPECT_EQ(shell.launchAtLogin, enabledNow);
        EXPECT_EQ(shell.launchAtLoginTicked(), enabledNow);
        if (!c.failure) {
            EXPECT_TRUE(shell.alerts.empty());
            continue;
        }
        EXPECT_EQ(shell.alerts, (ShellHarness::Alerts {{"Brindle could not update Launch at Login.", *c.failure}}));
        EXPECT_EQ(shell.statusLine(), c.haveResult ? "Last synced just now" : "Backup failed: " + *c.failure);
    }
}

}  // namespace
}  // namespace brindle::testing
