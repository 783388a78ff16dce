#include "BrindleApp/qt/QtStatusItem.h"

#include <QAction>
#include <QCoreApplication>
#include <QImage>

#include <gtest/gtest.h>

#include "BrindleApp/qt/QtEventLoop.h"
#include "BrindleApp/shell/AppDelegate.h"
#include "tests/fakes/FakeBackgroundRunner.h"
#include "tests/fakes/FakeDesktopServices.h"
#include "tests/fakes/FakeModalPanels.h"
#include "tests/fakes/Journal.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle::qt {
namespace {

using testing::Journal;

void processEvents() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

QStringList texts(QMenu* menu) {
    QStringList result;
    for (QAction* action : menu->actions()) result << (action->isSeparator() ? QStringLiteral("---") : action->text());
    return result;
}

QAction* actionTitled(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions())
        if (action->text() == text) return action;
    return nullptr;
}

QImage iconImage(QtStatusItem& item) {
    return item.trayIcon()->icon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The shell's own menu, as AppDelegate builds it, drawn by the Qt status item.
class ShellMenu : public ::testing::Test {
protected:
    testing::TemporaryFolder folder;
    PosixFileManager posix;
    Journal journal;
    QtEventLoop loop;
    shell::SystemClock clock;
    testing::FakeApplication application {journal};
    testing::FakeBackgroundRunner runner {journal};
    QtStatusItem statusItem;
    shell::IcuRelativeDateFormatter formatter {"en_US"};
    testing::FakeUpdater updater;
    testing::FakeLaunchAtLoginService launchAtLogin;
    testing::FakeAlerts alerts {journal};
    testing::FakeFolderChooser chooser {journal};
    testing::FakeFileBrowser fileBrowser;
    std::shared_ptr<shell::AppDelegate> delegate;

    void SetUp() override {
        testing::makeFolder(folder / "home");
        delegate = shell::AppDelegate::create({
            .fileManager = posix,
            .application = application,
            .eventLoop = loop,
            .clock = clock,
            .backgroundRunner = runner,
            .statusItem = statusItem,
            .relativeDateFormatter = formatter,
            .updaterController = updater,
            .launchAtLogin = launchAtLogin,
            .alerts = alerts,
            .folderChooser = chooser,
            .fileBrowser = fileBrowser,
            .backupPerformer = [](const BackupSettings&) -> BackupResult { throw std::runtime_error("not run"); },
            .userFolders = {folder / "home", folder / "config"},
        });
    }
};

TEST_F(ShellMenu, ShowsTheShellsItemsInOrderWithSeparators) {
    delegate->rebuildMenu();
    EXPECT_EQ(texts(statusItem.menu()),
              (QStringList{"Brindle is ready", "---", "Back Up Now", "Open Backup Folder", "Choose Backup Folder...",
                           "---", "Launch at Login", "Check for Updates...", "---", "Quit Brindle"}));
    EXPECT_EQ(statusItem.trayIcon()->contextMenu(), statusItem.menu()) << "the icon always has its menu";
}

TEST_F(ShellMenu, ShortcutsAreCtrlLettersShownInTheMenu) {
    delegate->rebuildMenu();
    const std::map<QString, QString> expected {
        {"Back Up Now", "Ctrl+B"},          {"Open Backup Folder", "Ctrl+O"}, {"Choose Backup Folder...", "Ctrl+,"},
        {"Check for Updates...", "Ctrl+U"}, {"Quit Brindle", "Ctrl+Q"},       {"Launch at Login", ""},
        {"Brindle is ready", ""},
    };
    for (const auto& [title, shortcut] : expected) {
        QAction* action = actionTitled(statusItem.menu(), title);
        ASSERT_NE(action, nullptr) << title.toStdString();
        EXPECT_EQ(action->shortcut().toString(QKeySequence::PortableText), shortcut) << title.toStdString();
        EXPECT_TRUE(action->isShortcutVisibleInContextMenu()) << title.toStdString();
    }
}

TEST_F(ShellMenu, StatusLineIsDisabledAndCommandsEnabled) {
    delegate->rebuildMenu();
    for (QAction* action : statusItem.menu()->actions()) {
        if (action->isSeparator()) continue;
        EXPECT_EQ(action->isEnabled(), action->text() != "Brindle is ready") << action->text().toStdString();
    }
}

TEST_F(ShellMenu, LaunchAtLoginIsACheckBoxTickedOnlyWhenEnabled) {
    delegate->rebuildMenu();
    QAction* toggle = actionTitled(statusItem.menu(), "Launch at Login");
    ASSERT_NE(toggle, nullptr);
    EXPECT_TRUE(toggle->isCheckable());
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(actionTitled(statusItem.menu(), "Back Up Now")->isCheckable());

    launchAtLogin.current = shell::LaunchAtLoginStatus::enabled;
    delegate->rebuildMenu();
    toggle = actionTitled(statusItem.menu(), "Launch at Login");
    ASSERT_NE(toggle, nullptr);
    EXPECT_TRUE(toggle->isChecked());
}

TEST_F(ShellMenu, RebuildRefillsTheSameMenu) {
    delegate->rebuildMenu();
    QMenu* before = statusItem.menu();
    QAction* oldAction = statusItem.menu()->actions().front();
    delegate->runBackup();  // rebuilds with the run's status line
    EXPECT_EQ(statusItem.menu(), before);
    EXPECT_EQ(statusItem.trayIcon()->contextMenu(), before);
    EXPECT_EQ(texts(statusItem.menu()).front(), "Backing up Codex files...");
    EXPECT_EQ(statusItem.menu()->actions().size(), 10);
    EXPECT_FALSE(statusItem.menu()->actions().contains(oldAction)) << "the old items were left in";
}

TEST_F(ShellMenu, ChoosingAnItemRunsItsCommandAfterTheMenuHasClosed) {
    delegate->rebuildMenu();
    actionTitled(statusItem.menu(), "Check for Updates...")->trigger();
    EXPECT_EQ(updater.checks, 0) << "ran inside the menu's own signal";
    processEvents();
    EXPECT_EQ(updater.checks, 1);

    actionTitled(statusItem.menu(), "Quit Brindle")->trigger();
    processEvents();
    EXPECT_EQ(application.terminateCalls, 1);
}

TEST_F(ShellMenu, ACommandThatRebuildsTheMenuIsSafe) {
    delegate->rebuildMenu();
    actionTitled(statusItem.menu(), "Launch at Login")->trigger();
    processEvents();
    EXPECT_EQ(launchAtLogin.registerCalls, 1);
    QAction* toggle = actionTitled(statusItem.menu(), "Launch at Login");
    ASSERT_NE(toggle, nullptr);
    EXPECT_TRUE(toggle->isChecked()) << "the rebuild after the toggle shows the new status";
}

TEST(QtStatusItem, OpeningTheMenuRefreshesItsTitles) {
    // The age in the status line changes without a rebuild: only the menu-will-open
    // hook brings the new title to the menu.
    auto model = std::make_shared<shell::Menu>();
    auto line = model->addItem("old", "", {});
    model->willOpen = [line] { line->title = "fresh"; };
    QtStatusItem statusItem;
    statusItem.setMenu(model);
    ASSERT_EQ(texts(statusItem.menu()), QStringList{"old"});
    emit statusItem.menu()->aboutToShow();
    EXPECT_EQ(texts(statusItem.menu()), QStringList{"fresh"});
}

TEST_F(ShellMenu, TheTitleIsTheTooltipAndTheIconTurnsWithTheSpinner) {
    delegate->configureStatusItem();
    EXPECT_EQ(statusItem.trayIcon()->toolTip(), "Brindle");
    EXPECT_EQ(statusItem.currentIconPath(), ":/icons/idle.svg");
    EXPECT_FALSE(statusItem.trayIcon()->icon().isNull()) << "the SVG icon did not load (is libqt6svg6 installed?)";

    delegate->runBackup();
    EXPECT_EQ(statusItem.trayIcon()->toolTip(), "Saving |");
    EXPECT_EQ(statusItem.currentIconPath(), ":/icons/syncing.svg");
    EXPECT_EQ(statusItem.rotationDegrees(), 0);
    const QImage first = iconImage(statusItem);
    delegate->updateStatusItemForSync();
    EXPECT_EQ(statusItem.rotationDegrees(), 45);
    EXPECT_NE(iconImage(statusItem), first) << "the syncing icon did not turn";
    delegate->updateStatusItemForSync();
    delegate->updateStatusItemForSync();
    EXPECT_EQ(statusItem.rotationDegrees(), 135);
    delegate->updateStatusItemForSync();
    EXPECT_EQ(statusItem.rotationDegrees(), 0) << "four frames make a half turn, which looks like none";

    delegate->stopSyncAnimation();
    EXPECT_EQ(statusItem.trayIcon()->toolTip(), "Brindle");
    EXPECT_EQ(statusItem.currentIconPath(), ":/icons/idle.svg");
}

TEST(QtStatusItem, EscapesAmpersandsSoNoMnemonicAppears) {
    QtStatusItem item;
    auto model = std::make_shared<shell::Menu>();
    model->addItem("Backup failed: Tom & Jerry's folder", "", {});
    item.setMenu(model);
    EXPECT_EQ(item.menu()->actions().front()->text(), "Backup failed: Tom && Jerry's folder");
    EXPECT_EQ(item.menu()->actions().front()->iconText(), "Backup failed: Tom & Jerry's folder");
}

TEST(QtStatusItem, AnUnknownIconNameLeavesNoImage) {
    QtStatusItem item;
    shell::StatusButton* button = item.button();
    ASSERT_NE(button, nullptr);
    button->setImage("no.such.symbol", "Brindle");
    EXPECT_FALSE(button->hasImage());
    EXPECT_TRUE(item.trayIcon()->icon().isNull());
    button->setImage("externaldrive.badge.icloud", "Brindle");
    EXPECT_TRUE(button->hasImage());
}

TEST(QtStatusItem, ShortcutForMapsKeyEquivalents) {
    EXPECT_EQ(QtStatusItem::shortcutFor("b").toString(QKeySequence::PortableText), "Ctrl+B");
    EXPECT_EQ(QtStatusItem::shortcutFor(",").toString(QKeySequence::PortableText), "Ctrl+,");
    EXPECT_TRUE(QtStatusItem::shortcutFor("").isEmpty());
}

}  // namespace
}  // namespace brindle::qt
