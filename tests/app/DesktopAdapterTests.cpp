#include <gtest/gtest.h>

#include <cstdlib>

#include "BrindleApp/desktop/SingleInstance.h"
#include "BrindleApp/desktop/XdgLaunchAtLogin.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle::desktop {
namespace {

using shell::LaunchAtLoginStatus;
using testing::TemporaryFolder;

TEST(XdgLaunchAtLogin, RegistersReportsAndUnregistersTheAutostartEntry) {
    TemporaryFolder temp;
    XdgLaunchAtLogin service(XdgAutostart(temp / "config", "/opt/My Apps/brindle"));
    EXPECT_EQ(service.status(), LaunchAtLoginStatus::notRegistered);
    service.registerApplication();
    EXPECT_EQ(service.status(), LaunchAtLoginStatus::enabled);
    EXPECT_NE(testing::readFile(temp / "config/autostart/io.github.brindle.Brindle.desktop")
                  .find("Exec=\"/opt/My Apps/brindle\"\n"),
              std::string::npos);
    service.unregisterApplication();
    EXPECT_EQ(service.status(), LaunchAtLoginStatus::notRegistered);
}

TEST(XdgLaunchAtLogin, AHiddenEntryIsNotEnabled) {
    TemporaryFolder temp;
    testing::writeFile(temp / "config/autostart/io.github.brindle.Brindle.desktop",
                       "[Desktop Entry]\nType=Application\nExec=brindle\nHidden=true\n");
    XdgLaunchAtLogin service(XdgAutostart(temp / "config", "/usr/bin/brindle"));
    EXPECT_EQ(service.status(), LaunchAtLoginStatus::notRegistered);
}

TEST(XdgLaunchAtLogin, AFileWhereTheFolderBelongsIsAnError) {
    TemporaryFolder temp;
    testing::writeFile(temp / "config/autostart", "not a folder");
    XdgLaunchAtLogin service(XdgAutostart(temp / "config", "/usr/bin/brindle"));
    try {
        service.registerApplication();
        ADD_FAILURE() << "no error";
    } catch (const AutostartError& error) {
        EXPECT_NE(std::string(error.what()).find((temp / "config/autostart").string()), std::string::npos)
            << "the sentence names the path: " << error.what();
    }
    EXPECT_EQ(service.status(), LaunchAtLoginStatus::notRegistered);
}

TEST(SingleInstance, TheSecondHolderIsRefusedUntilTheFirstLetsGo) {
    TemporaryFolder temp;
    const Path lock = temp / "run/brindle/tray.lock";
    {
        SingleInstance first(lock);
        ASSERT_TRUE(first.acquired());
        SingleInstance second(lock);
        EXPECT_FALSE(second.acquired());
    }
    SingleInstance again(lock);
    EXPECT_TRUE(again.acquired()) << "the lock outlived its holder";
}

TEST(SingleInstance, LivesInTheRuntimeFolderElseBesideTheSettings) {
    TemporaryFolder temp;
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("XDG_RUNTIME_DIR", (temp / "run").c_str(), 1);
    PosixFileManager files;
    EXPECT_EQ(SingleInstance::defaultLockPath(files), temp / "run/brindle/tray.lock");
    setenv("XDG_RUNTIME_DIR", "relative/run", 1);
    EXPECT_EQ(SingleInstance::defaultLockPath(files).filename(), "tray.lock");
    EXPECT_EQ(SingleInstance::defaultLockPath(files).parent_path().filename(), "Brindle");
    if (saved != nullptr) setenv("XDG_RUNTIME_DIR", previous.c_str(), 1); else unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace brindle::desktop
