#include <gtest/gtest.h>

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

}  // namespace
}  // namespace brindle::desktop
