// The real `brindle` started as the tray application: with no display, and under an
// X server (Xvfb) with a StatusNotifierItem tray that the test plays on a private
// session bus, as Xfce's and LXQt's panels and waybar do on a desktop.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "BrindleApp/qt/DBusObject.h"
#include "BrindleApp/qt/DBusTypes.h"
#include "tests/fakes/TemporaryFolder.h"
#include "tests/support/ProgramRunner.h"

namespace brindle {
namespace {

using namespace std::chrono_literals;
using qt::DBusObject;
using testing::RunningProgram;

const std::string noDisplayLine =
    "Brindle's tray needs a graphical session, and none was found; \u201Cbrindle backup\u201D backs up without one.\n";

// Runs the test's event loop, which answers the tray's calls, until `done` or the time is up.
template <typename Predicate>
bool processEventsUntil(Predicate done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class TrayProgram : public ::testing::Test {
protected:
    testing::TemporaryFolder temp;
    Path home = temp / "home";

    void SetUp() override {
        testing::makeFolder(temp / "tmp");
        testing::writeFile(home / ".codex/AGENTS.md", "Be kind.");
    }
    // A home, configuration and runtime folder of the test's own; Qt's platform is left
    // to the display (ctest chose offscreen for this test program).
    std::map<std::string, std::string> environment(const std::string& display, const std::string& bus = "") {
        return {{"HOME", home.string()},
                {"XDG_CONFIG_HOME", (temp / "config").string()},
                {"XDG_RUNTIME_DIR", (temp / "run").string()},
                {"XDG_DATA_HOME", (temp / "data").string()},
                {"TMPDIR", (temp / "tmp").string()},  // xvfb-run's files, removed with the folder
                {"DISPLAY", display},
                {"DBUS_SESSION_BUS_ADDRESS", bus},
                {"QT_QPA_PLATFORM", ""},
                {"WAYLAND_DISPLAY", ""}};
    }
    // The manifest of the latest backup, or empty while there is none.
    std::string latestManifest() {
        std::error_code ignored;
        for (const auto& machine : std::filesystem::directory_iterator(home / "Brindle Backups", ignored)) {
            const Path manifest = machine.path() / "latest" / "manifest.json";
            if (std::filesystem::is_regular_file(manifest, ignored)) return testing::readFile(manifest);
        }
        return {};
    }
};

TEST_F(TrayProgram, WithoutAReachableDisplayPrintsOneLineAndExitsWithStatus1) {
    // No display at all, and one where no X server listens: the same line, not Qt's abort.
    for (const std::string display : {"", ":4093"}) {
        const auto outcome = testing::runProgram(BRINDLE_BINARY, {}, environment(display), temp.path());
        EXPECT_EQ(outcome.exitStatus, 1) << "display \"" << display << "\": " << outcome.err;
        EXPECT_EQ(outcome.err, noDisplayLine);
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_EQ(latestManifest(), "") << "the tray that cannot start backed up anyway";
}

// A session bus of the test's own, with no services to start on demand.
class PrivateBus {
public:
    explicit PrivateBus(const Path& folder)
        : address("unix:path=" + (folder / "bus").string()),
          daemon_("/usr/bin/dbus-daemon", {"--nofork", "--config-file=" + configFile(folder, address)}, {}, folder) {
        for (int i = 0; i < 500 && !std::filesystem::exists(folder / "bus"); ++i) std::this_thread::sleep_for(10ms);
        connection = QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("test"));
    }
    ~PrivateBus() { QDBusConnection::disconnectFromBus(QStringLiteral("test")); }

    // Answers under `service` with `object` at `path`.
    bool offer(const QString& service, const QString& path, DBusObject& object) {
        return connection.registerService(service) && connection.registerVirtualObject(path, &object);
    }

    const std::string address;
    QDBusConnection connection {QStringLiteral("none")};

private:
    static std::string configFile(const Path& folder, const std::string& address) {
        testing::writeFile(folder / "bus.conf", "<busconfig><type>session</type><listen>" + address +
                                                    "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                                    "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                                                    "<allow own=\"*\"/></policy></busconfig>");
        return (folder / "bus.conf").string();
    }
    RunningProgram daemon_;
};

TEST_F(TrayProgram, RegistersWithAStatusNotifierTrayAndBacksUpFromItsExportedMenu) {
    if (!std::filesystem::exists("/usr/bin/xvfb-run") || !std::filesystem::exists("/usr/bin/dbus-daemon"))
        GTEST_SKIP() << "xvfb-run or dbus-daemon is not installed (scripts/install-deps test installs them)";
    PrivateBus bus(temp.path());
    ASSERT_TRUE(bus.connection.isConnected()) << bus.address;
    qt::registerDBusTypes();
    // The tray's side: a watcher that takes registrations, and a notification service.
    QStringList registered, notified;
    DBusObject watcher(QStringLiteral("org.kde.StatusNotifierWatcher"), QString());
    watcher.addMethod(QStringLiteral("RegisterStatusNotifierItem"), [&](const QDBusMessage& call) {
        registered << call.arguments().value(0).toString();
        return call.createReply();
    });
    DBusObject notifications(QStringLiteral("org.freedesktop.Notifications"), QString());
    notifications.addMethod(QStringLiteral("Notify"), [&](const QDBusMessage& call) {
        notified << call.arguments().value(3).toString();
        return call.createReply(1u);
    });
    ASSERT_TRUE(bus.offer("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", watcher));
    ASSERT_TRUE(bus.offer("org.freedesktop.Notifications", "/org/freedesktop/Notifications", notifications));

    RunningProgram tray("/usr/bin/xvfb-run",
                        {"--auto-servernum", "--server-args=-screen 0 800x600x24 -nolisten tcp", BRINDLE_BINARY},
                        environment("", bus.address), temp.path());
    ASSERT_TRUE(processEventsUntil([&] { return !registered.isEmpty(); }, 30s)) << tray.errSoFar();
    auto call = [&](const QString& path, const QString& interface, const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(registered.front(), path, interface, method);
        message.setArguments(arguments);
        return bus.connection.call(message, QDBus::Block, 5000);
    };
    auto property = [&](const char* name) {
        return call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get", {"org.kde.StatusNotifierItem", name})
            .arguments().value(0).value<QDBusVariant>().variant();
    };
    EXPECT_EQ(property("ItemIsMenu"), true) << "a click would not show the exported menu";
    const QString menu = property("Menu").value<QDBusObjectPath>().path();
    auto items = [&] {
        const QDBusMessage reply = call(menu, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
        EXPECT_EQ(reply.signature(), "u(ia{sv}av)") << reply.errorMessage().toStdString();
        QMap<QString, qt::DBusMenuNode> byLabel;
        for (const auto& node : qdbus_cast<qt::DBusMenuNode>(reply.arguments().value(1)).children)
            byLabel.insert(node.properties.value("label").toString(), node);
        return byLabel;
    };
    ASSERT_TRUE(processEventsUntil([&] { return items().contains("Last synced just now"); }, 40s)) << tray.errSoFar();
    const std::string launchBackup = latestManifest();
    EXPECT_NE(launchBackup.find("\"status\" : \"copied\""), std::string::npos) << launchBackup;
    const auto shown = items();
    EXPECT_EQ(shown.keys(), (QStringList {"", "Back Up Now", "Check for Updates...", "Choose Backup Folder...",
                                          "Last synced just now", "Launch at Login", "Open Backup Folder", "Quit Brindle"}));
    EXPECT_EQ(qdbus_cast<qt::DBusMenuShortcut>(shown["Back Up Now"].properties.value("shortcut")),
              (qt::DBusMenuShortcut {{"Control", "b"}}));

    // The manifest names the second; the next backup must be in another one.
    processEventsUntil([] { return false; }, 1100ms);
    call(menu, "com.canonical.dbusmenu", "Event",
         {shown["Back Up Now"].id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u});
    EXPECT_TRUE(processEventsUntil([&] { return property("Title") == "Backing up"; }, 5s));
    ASSERT_TRUE(processEventsUntil([&] { return property("Title") == "Brindle" && latestManifest() != launchBackup; }, 60s))
        << "no backup from the menu: " << tray.errSoFar();

    // A second launch says so, and the tray shows that it is there.
    const auto second = testing::runProgram(BRINDLE_BINARY, {}, environment(":4093", bus.address), temp.path());
    EXPECT_EQ(second.exitStatus, 0) << second.err;
    EXPECT_EQ(second.out, "Brindle is already running.\n");
    EXPECT_TRUE(processEventsUntil([&] { return notified.contains("Brindle is already running"); }, 5s));

    // The command line backs up beside the tray, without a display.
    const auto backup = testing::runProgram(BRINDLE_BINARY, {"backup"}, environment(""), temp.path());
    EXPECT_EQ(backup.exitStatus, 0) << backup.err;
    EXPECT_FALSE(tray.waitFor(0ms)) << "the tray ended";
}

}  // namespace
}  // namespace brindle
