// The real `brindle` started as the tray application: under xvfb-run (an X server
// with no tray host, as on a desktop whose panel has not started yet), a second
// instance beside it, and with no display at all.
#include <gtest/gtest.h>

#include <thread>

#include "tests/fakes/TemporaryFolder.h"
#include "tests/qt/TrayProcess.h"

namespace brindle {
namespace {

using namespace std::chrono_literals;
using testing::findOnPath;
using testing::TemporaryFolder;
using testing::TrayProcess;
using testing::writeFile;

const std::string noDisplayLine =
    "Brindle's tray needs a graphical session, and none was found; \u201Cbrindle backup\u201D backs up without one.\n";

class TrayProgram : public ::testing::Test {
protected:
    TemporaryFolder temp;
    Path home = temp / "home";

    void SetUp() override {
        testing::makeFolder(temp / "tmp");
        writeFile(home / ".codex/AGENTS.md", "Be kind.");
        writeFile(home / ".agents/skills/review/SKILL.md", "review");
    }
    // A home, configuration and runtime folder of the test's own; Qt's platform is
    // left to the display (ctest may have chosen offscreen for the Qt tests).
    std::map<std::string, std::string> environment() {
        return {{"HOME", home.string()},
                {"XDG_CONFIG_HOME", (temp / "config").string()},
                {"XDG_RUNTIME_DIR", (temp / "run").string()},
                {"XDG_DATA_HOME", (temp / "data").string()},
                {"XDG_CACHE_HOME", (temp / "cache").string()},
                // xvfb-run's authority file goes here, and with the folder when it is
                // killed rather than left to clean up after itself.
                {"TMPDIR", (temp / "tmp").string()},
                {"QT_QPA_PLATFORM", ""},
                {"WAYLAND_DISPLAY", ""},
                {"DBUS_SESSION_BUS_ADDRESS", ""}};
    }
    std::map<std::string, std::string> withoutDisplay() {
        auto env = environment();
        env["DISPLAY"] = "";
        return env;
    }
    Path xvfbRun() {
        const Path found = findOnPath("xvfb-run");
        return found.empty() ? Path("/usr/bin/xvfb-run") : found;
    }
    bool haveXvfb() { return access(xvfbRun().c_str(), X_OK) == 0 && !findOnPath("Xvfb").empty(); }
    std::unique_ptr<TrayProcess> startUnderXvfb() {
        return std::make_unique<TrayProcess>(
            std::vector<std::string>{xvfbRun().string(), "--auto-servernum", "--server-args=-screen 0 800x600x24 -nolisten tcp",
                                     BRINDLE_BINARY},
            environment(), temp.path());
    }
    // The published launch backup's manifest, once it is there.
    std::optional<Path> latestManifest() {
        std::error_code ignored;
        const Path root = home / "Brindle Backups";
        for (const auto& machine : std::filesystem::directory_iterator(root, ignored)) {
            const Path manifest = machine.path() / "latest" / "manifest.json";
            if (std::filesystem::is_regular_file(manifest, ignored)) return manifest;
        }
        return std::nullopt;
    }
    // Waits for the launch backup while the tray keeps running.
    ::testing::AssertionResult launchBackupAppears(TrayProcess& tray, std::chrono::seconds limit = 40s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (latestManifest()) return ::testing::AssertionSuccess();
            if (auto status = tray.waitFor(100ms))
                return ::testing::AssertionFailure() << "the tray exited with " << *status << " before backing up: "
                                                     << tray.out() << tray.err();
        }
        return ::testing::AssertionFailure() << "no launch backup within " << limit.count() << " s: " << tray.err();
    }
};

TEST_F(TrayProgram, WithoutAnyDisplayPrintsOneLineAndExitsWithStatus1) {
    TrayProcess tray({BRINDLE_BINARY}, withoutDisplay(), temp.path());
    const auto status = tray.waitFor(20s);
    ASSERT_TRUE(status) << "still running without a display";
    EXPECT_EQ(*status, 1);
    EXPECT_EQ(tray.err(), noDisplayLine);
    EXPECT_EQ(tray.out(), "");
    EXPECT_FALSE(latestManifest()) << "the tray that cannot start backed up anyway";
}

TEST_F(TrayProgram, AnUnreachableDisplayGivesTheSameLineNotQtsAbort) {
    auto env = environment();
    env["DISPLAY"] = ":4093";  // no X server listens there
    TrayProcess tray({BRINDLE_BINARY}, env, temp.path());
    const auto status = tray.waitFor(20s);
    ASSERT_TRUE(status) << "still running without a reachable display";
    EXPECT_EQ(*status, 1) << "killed by a signal (-1) is Qt's abort: " << tray.err();
    EXPECT_EQ(tray.err(), noDisplayLine);
}

TEST_F(TrayProgram, UnderXvfbMakesItsLaunchBackupAndStaysUp) {
    if (!haveXvfb()) GTEST_SKIP() << "xvfb-run or Xvfb is not installed (scripts/install-deps test installs them)";
    auto tray = startUnderXvfb();
    ASSERT_TRUE(launchBackupAppears(*tray));
    const std::string manifest = testing::readFile(*latestManifest());
    EXPECT_NE(manifest.find("\"status\" : \"copied\""), std::string::npos) << manifest;
    EXPECT_FALSE(tray->waitFor(2s)) << "the tray ended after its launch backup: " << tray->err();
    EXPECT_TRUE(std::filesystem::exists(temp / "config/Brindle/tray.lock"));
}

TEST_F(TrayProgram, ASecondInstanceSaysSoAndLeavesTheFirstRunning) {
    if (!haveXvfb()) GTEST_SKIP() << "xvfb-run or Xvfb is not installed (scripts/install-deps test installs them)";
    auto first = startUnderXvfb();
    ASSERT_TRUE(launchBackupAppears(*first));

    auto second = startUnderXvfb();
    const auto status = second->waitFor(30s);
    ASSERT_TRUE(status) << "the second instance kept running";
    EXPECT_EQ(*status, 0) << second->err();
    EXPECT_EQ(second->out(), "Brindle is already running.\n");
    EXPECT_FALSE(first->waitFor(1s)) << "the first instance ended: " << first->err();
}

TEST_F(TrayProgram, BackupStillWorksWithoutADisplayBesideARunningTray) {
    if (!haveXvfb()) GTEST_SKIP() << "xvfb-run or Xvfb is not installed (scripts/install-deps test installs them)";
    auto tray = startUnderXvfb();
    ASSERT_TRUE(launchBackupAppears(*tray));
    TrayProcess backup({BRINDLE_BINARY, "backup"}, withoutDisplay(), temp.path());
    const auto status = backup.waitFor(60s);
    ASSERT_TRUE(status) << "brindle backup hung beside the tray";
    EXPECT_EQ(*status, 0) << backup.err();
    EXPECT_TRUE(tray->running());
}

}  // namespace
}  // namespace brindle
