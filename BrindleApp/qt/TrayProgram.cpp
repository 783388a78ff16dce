#include "BrindleApp/qt/TrayProgram.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>

#include "BrindleApp/desktop/AppId.h"
#include "BrindleApp/desktop/XdgLaunchAtLogin.h"
#include "BrindleApp/qt/QtDesktop.h"
#include "BrindleApp/qt/QtEventLoop.h"
#include "BrindleApp/qt/QtStatusItem.h"
#include "BrindleApp/qt/SecondLaunch.h"
#include "BrindleApp/qt/TrayIcons.h"
#include "BrindleApp/shell/AppDelegate.h"
#include "BrindleCore/FileLock.h"
#include "BrindleCore/SettingsStore.h"

namespace brindle::qt {

const char* const noDisplayMessage =
    "Brindle's tray needs a graphical session, and none was found; \u201Cbrindle backup\u201D backs up without one.";
const char* const alreadyRunningMessage = "Brindle is already running.";

namespace {

bool hasEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// While QApplication connects to the display, a failure there is Qt's qFatal, which
// aborts with a core dump. This handler turns it into the one line and status 1.
QtMessageHandler previousHandler = nullptr;

void startupMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        std::fputs(noDisplayMessage, stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    // Qt's warnings on the way there (which plugins it tried) would only add noise
    // to the one line; everything else goes on as usual.
    if (type == QtWarningMsg || type == QtInfoMsg || type == QtDebugMsg) return;
    if (previousHandler != nullptr) previousHandler(type, context, message);
}

// Ends the process without running destructors: a backup in progress on its own
// thread will still post its outcome to the event loop, which must therefore never
// be destroyed. The backup's crash-safe publishing makes not waiting for it safe.
[[noreturn]] void endProcess(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace

int runTray(int argc, char** argv) {
    // An explicit QT_QPA_PLATFORM is the user's own choice of display; Qt's failure
    // to use it is still caught below.
    if (!hasEnvironment("DISPLAY") && !hasEnvironment("WAYLAND_DISPLAY") && !hasEnvironment("QT_QPA_PLATFORM")) {
        std::cerr << noDisplayMessage << '\n';
        return 1;
    }

    FileManager& fileManager = sharedFileManager();
    // One tray per user: the tray lock, tried once, held until the process ends.
    static std::optional<FileLock> trayLock;
    try {
        trayLock = FileLock::acquire(
            fileManager, lockPathBeside(SettingsStore::defaultSettingsURL(UserFolders::current()), kTrayLockName),
            std::chrono::milliseconds::zero());
    } catch (const std::exception& error) {
        std::cerr << "Brindle could not start: " << error.what() << '\n';
        return 1;
    }
    // QApplication keeps a reference to its argc: both live as long as the process.
    static int qtArgc = argc;
    if (!trayLock) {
        // Started from the application menu, most likely: the running tray shows that
        // it is there, and a terminal, if any, hears so too.
        QCoreApplication busClient(qtArgc, argv);
        activateRunningTray();
        std::cout << alreadyRunningMessage << '\n';
        return 0;
    }

    previousHandler = qInstallMessageHandler(startupMessageHandler);
    QApplication::setApplicationName(QStringLiteral("Brindle"));
    QApplication::setApplicationVersion(QStringLiteral(BRINDLE_VERSION));
    QApplication::setDesktopFileName(
        QString::fromUtf8(desktop::kAppId.data(), static_cast<qsizetype>(desktop::kAppId.size())));
    static QApplication* application = new QApplication(qtArgc, argv);  // never destroyed, see endProcess
    qInstallMessageHandler(previousHandler);
    // Closing an alert or the folder chooser must not end the program.
    application->setQuitOnLastWindowClosed(false);

    // Every service outlives the delegate and any run in progress: none is destroyed.
    application->setWindowIcon(applicationIcon());
    auto* eventLoop = new QtEventLoop;
    auto* statusItem = new QtStatusItem;
    auto* clock = new shell::SystemClock;
    auto* runner = new shell::ThreadBackgroundRunner;
    auto* desktop = new QtDesktop;
    auto* launchAtLogin = new desktop::XdgLaunchAtLogin(desktop::XdgAutostart::forCurrentProcess());

    const UserFolders folders = UserFolders::current();
    static std::shared_ptr<shell::AppDelegate> delegate = shell::AppDelegate::create(shell::ShellPlatform {
        fileManager, *eventLoop, *clock, *runner, *statusItem, *desktop, *launchAtLogin,
        shell::lockedBackupPerformer(fileManager, folders), folders});
    // The first job of the event loop, as "did finish launching" is on the desktop this
    // design came from; the icon is shown now if a tray is there, else when one appears.
    QTimer::singleShot(0, [statusItem] {
        delegate->applicationDidFinishLaunching();
        statusItem->show();
        answerLaterLaunches([statusItem] {
            if (!statusItem->popUpAtIcon()) notifyAlreadyRunning();
        });
    });
    endProcess(QApplication::exec());
}

}  // namespace brindle::qt
