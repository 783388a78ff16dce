// The real `brindle` started as the tray application: with no display, and under an
// X server of the test's own, where a tray appears only after it has started (as when
// autostarted before the panel), or where the test plays a StatusNotifierItem tray on a
// private session bus, as Xfce's and LXQt's panels and waybar do on a desktop.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include <sstream>

#include "BrindleApp/qt/DBusObject.h"
#include "BrindleApp/qt/DBusTypes.h"
#include "tests/app/ProgramFixture.h"
#include "tests/qt/ProcessEvents.h"

namespace brindle::testing {
namespace {

using namespace std::chrono_literals;
using Environment = std::map<std::string, std::string>;

class TrayProgram : public ProgramFixture {
protected:
    std::optional<RunningProgram> xServer;

    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("test")); }
    // Qt's platform is left to the display (ctest chose offscreen for this test program).
    Environment session(const std::string& display, const std::string& bus = "") {
        return {{"XDG_RUNTIME_DIR", (temp / "run").string()}, {"XDG_DATA_HOME", (temp / "data").string()},
                {"DISPLAY", display}, {"DBUS_SESSION_BUS_ADDRESS", bus}, {"QT_QPA_PLATFORM", ""}, {"WAYLAND_DISPLAY", ""}};
    }
    // Starts an X server on a free display, which it names once it listens. It, trayer,
    // xwininfo and dbus-daemon come with scripts/install-deps test.
    std::string startDisplay() {
        xServer.emplace("/usr/bin/Xvfb", std::vector<std::string> {"-displayfd", "2", "-nolisten", "tcp"}, Environment {},
                        temp.path());
        std::string err, number;
        const auto named = [&] {  // a whole line of digits, among Xvfb's other messages
            std::istringstream lines(err = xServer->errSoFar());
            while (std::getline(lines, number) && !lines.eof())  // only lines that are whole
                if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos) return true;
            return false;
        };
        if (!processEventsUntil(named, 10s)) throw std::runtime_error("Xvfb named no display: " + err);
        return ":" + number;
    }
    std::string latestManifest() const {
        const Path manifest = machine() / "latest/manifest.json";
        return std::filesystem::exists(manifest) ? readFile(manifest) : "";
    }
};

TEST_F(TrayProgram, WithoutADisplayPrintsOneLineAndBacksUpWithoutATrayAndDocksIntoAnXEmbedTrayThatAppearsLater) {
    // No display at all, and one where no X server listens: the same line, not Qt's abort.
    for (const std::string display : {"", ":4093"}) {
        const auto outcome = brindle({}, session(display));
        EXPECT_EQ(outcome.exitStatus, 1) << "display \"" << display << "\": " << outcome.err;
        EXPECT_EQ(outcome.err, "Brindle's tray needs a graphical session, and none was found; \u201Cbrindle backup\u201D "
                               "backs up without one.\n");
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_TRUE(std::filesystem::is_empty(root)) << "the tray that cannot start backed up anyway";

    const std::string display = startDisplay();
    RunningProgram tray = start({}, session(display));
    ASSERT_TRUE(processEventsUntil([&] { return !latestManifest().empty(); }, 30s)) << tray.errSoFar();
    processEventsFor(2500ms);  // longer than the item waits between looks for a tray
    ASSERT_FALSE(tray.hasEnded()) << tray.errSoFar();

    RunningProgram trayer("/usr/bin/trayer", {}, session(display), temp.path());
    EXPECT_TRUE(processEventsUntil([&] {
        const auto panel = RunningProgram("/usr/bin/xwininfo", {"-name", "panel", "-tree"}, session(display), temp.path()).wait();
        return panel.out.find("(\"brindle\" \"Brindle\")") != std::string::npos;
    }, 15s)) << "the icon did not dock: " << tray.errSoFar();
    EXPECT_FALSE(tray.hasEnded());
}

TEST_F(TrayProgram, RegistersWithAStatusNotifierTrayAndBacksUpFromItsExportedMenu) {
    // A session bus of the test's own, with no services to start on demand.
    const std::string busAddress = "unix:path=" + (temp / "bus").string();
    writeFile(temp / "bus.conf", "<busconfig><type>session</type><listen>" + busAddress +
                                     "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow "
                                     "send_destination=\"*\"/><allow receive_sender=\"*\"/><allow own=\"*\"/>"
                                     "</policy></busconfig>");
    // It prints its address once it listens; the socket file alone may come sooner.
    RunningProgram busDaemon("/usr/bin/dbus-daemon",
                             {"--nofork", "--print-address=2", "--config-file=" + (temp / "bus.conf").string()},
                             Environment {}, temp.path());
    processEventsUntil([&] { return busDaemon.errSoFar().find('\n') != std::string::npos; }, 5s);
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress), QStringLiteral("test"));
    qt::registerDBusTypes();
    // The tray's side: a watcher that takes registrations, and a notification service.
    QStringList registered, notified;
    qt::DBusObject watcher(QStringLiteral("org.kde.StatusNotifierWatcher"), QString());
    watcher.addMethod(QStringLiteral("RegisterStatusNotifierItem"), [&](const QDBusMessage& call) {
        registered << call.arguments().value(0).toString();
        return call.createReply();
    });
    qt::DBusObject notifications(QStringLiteral("org.freedesktop.Notifications"), QString());
    notifications.addMethod(QStringLiteral("Notify"), [&](const QDBusMessage& call) {
        notified << call.arguments().value(3).toString();
        return call.createReply(1u);
    });
    ASSERT_TRUE(bus.registerService("org.kde.StatusNotifierWatcher") && bus.registerService("org.freedesktop.Notifications") &&
                bus.registerVirtualObject("/StatusNotifierWatcher", &watcher) &&
                bus.registerVirtualObject("/org/freedesktop/Notifications", &notifications));

    RunningProgram tray = start({}, session(startDisplay(), busAddress));
    ASSERT_TRUE(processEventsUntil([&] { return !registered.isEmpty(); }, 30s)) << tray.errSoFar();
    auto call = [&](const QString& path, const QString& interface, const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(registered.front(), path, interface, method);
        message.setArguments(arguments);
        return bus.call(message, QDBus::Block, 5000);
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
    EXPECT_EQ(qdbus_cast<qt::DBusMenuShortcut>(shown["Back Up Now"].properties.value("shortcut")),
              (qt::DBusMenuShortcut {{"Control", "b"}}));

    // The manifest names the second; the next backup must be in another one.
    processEventsFor(1100ms);
    call(menu, "com.canonical.dbusmenu", "Event",
         {shown["Back Up Now"].id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u});
    EXPECT_TRUE(processEventsUntil([&] { return property("Title") == "Backing up"; }, 5s));
    ASSERT_TRUE(processEventsUntil([&] { return property("Title") == "Brindle" && latestManifest() != launchBackup; }, 60s))
        << "no backup from the menu: " << tray.errSoFar();

    // A second launch says so, and the tray shows that it is there.
    const auto second = brindle({}, session(":4093", busAddress));
    EXPECT_EQ(second.exitStatus, 0) << second.err;
    EXPECT_EQ(second.out, "Brindle is already running.\n");
    EXPECT_TRUE(processEventsUntil([&] { return notified.contains("Brindle is already running"); }, 5s));

    // The command line backs up beside the tray, without a display.
    const auto backup = brindle({"backup"}, session(""));
    EXPECT_EQ(backup.exitStatus, 0) << backup.err;
    EXPECT_FALSE(tray.hasEnded()) << "the tray ended";
}

}  // namespace
}  // namespace brindle::testing
