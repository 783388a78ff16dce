#include "BrindleApp/qt/QtStatusItem.h"

#include <QAction>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <set>

#include "BrindleApp/qt/TrayIcons.h"

namespace brindle::qt {
namespace {

using shell::Command;

void processEvents() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

QAction* action(QtStatusItem& item, const QString& text) {
    for (QAction* candidate : item.menu()->actions())
        if (candidate->text() == text) return candidate;
    return nullptr;
}

// The status menu as the shell makes it, whose commands are recorded.
struct StatusItemTest : ::testing::Test {
    QtStatusItem item;
    std::vector<Command> performed;

    shell::Menu menu(const std::string& statusLine) {
        shell::Menu model;
        model.items = shell::statusMenuItems(statusLine, true);
        model.perform = [this](Command command) { performed.push_back(command); };
        return model;
    }
};

TEST_F(StatusItemTest, DrawsEachItemWithItsStateAndShortcutAndRefreshesTitlesOnOpening) {
    shell::Menu model = menu("Backup failed: Tom & Jerry's folder");
    model.willOpen = [](shell::Menu& shown) { shown.items.front().title = "Last synced 1 minute ago"; };
    item.setMenu(model);
    const QList<QAction*> actions = item.menu()->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(model.items.size()));
    for (qsizetype i = 0; i < actions.size(); ++i) {
        const shell::MenuItem& expected = model.items[static_cast<std::size_t>(i)];
        SCOPED_TRACE(expected.title);
        EXPECT_EQ(actions[i]->isSeparator(), expected.isSeparator);
        if (expected.isSeparator) continue;
        // "&" would start a mnemonic; a doubled one shows as itself.
        EXPECT_EQ(actions[i]->text(), QString::fromStdString(expected.title).replace("&", "&&"));
        EXPECT_EQ(actions[i]->isEnabled(), expected.command.has_value());
        EXPECT_EQ(actions[i]->isCheckable(), expected.checked.has_value());
        EXPECT_EQ(actions[i]->isChecked(), expected.checked.value_or(false));
        EXPECT_EQ(actions[i]->shortcut().toString(), expected.keyEquivalent.empty() ? "" : "Ctrl+" +
                                                         QString::fromStdString(expected.keyEquivalent).toUpper());
        EXPECT_TRUE(actions[i]->isShortcutVisibleInContextMenu());
    }
    emit item.menu()->aboutToShow();
    EXPECT_EQ(item.menu()->actions().front()->text(), "Last synced 1 minute ago");
}

TEST_F(StatusItemTest, AChosenCommandRunsAfterTheMenuClosesAndMayRebuildIt) {
    shell::Menu rebuilding = menu("Brindle is ready");
    rebuilding.perform = [&](Command command) {
        performed.push_back(command);
        item.setMenu(menu("Backing up Codex files..."));
    };
    item.setMenu(rebuilding);
    QAction* chosen = action(item, "Back Up Now");
    chosen->trigger();
    EXPECT_TRUE(performed.empty()) << "ran inside the menu's own signal";
    processEvents();
    EXPECT_EQ(performed, std::vector {Command::backUpNow});
    EXPECT_EQ(item.menu()->actions().front()->text(), "Backing up Codex files...");
    EXPECT_FALSE(item.menu()->actions().contains(chosen)) << "the old items were left in";
}

TEST_F(StatusItemTest, ShortcutsActWhileTheMenuIsOpen) {
    const std::vector<std::pair<Qt::Key, Command>> keys {{Qt::Key_B, Command::backUpNow},
                                                         {Qt::Key_O, Command::openBackupFolder},
                                                         {Qt::Key_Comma, Command::chooseBackupFolder},
                                                         {Qt::Key_U, Command::checkForUpdates},
                                                         {Qt::Key_Q, Command::quit}};
    item.setMenu(menu("Brindle is ready"));
    for (const auto& [key, command] : keys) {
        item.menu()->popup(QPoint(10, 10));
        processEvents();
        QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
        QCoreApplication::sendEvent(item.menu(), &press);
        processEvents();
        EXPECT_FALSE(item.menu()->isVisible()) << "the menu stayed open";
        ASSERT_FALSE(performed.empty());
        EXPECT_EQ(performed.back(), command);
    }
    EXPECT_EQ(performed.size(), keys.size());
}

TEST(TrayIcons, DrawExactlyTheLookTheShellGives) {
    std::set<QByteArray> drawn;
    for (const std::optional<int> frame : {std::optional<int>(), {0}, {1}, {2}, {3}}) {
        const QImage image = lookImage({frame}, 64).convertToFormat(QImage::Format_ARGB32);
        drawn.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
        // Hosts take each pixel as alpha, red, green, blue, in that order.
        const DBusImage sent = lookImages({frame}).back();
        ASSERT_EQ(sent.width, 64);
        for (int pixel = 0; pixel < 64 * 64; ++pixel) {
            const QRgb rgb = image.pixel(pixel % 64, pixel / 64);
            const char expected[] {char(qAlpha(rgb)), char(qRed(rgb)), char(qGreen(rgb)), char(qBlue(rgb))};
            ASSERT_EQ(sent.argb.mid(pixel * 4, 4), QByteArray(expected, 4)) << "pixel " << pixel;
        }
    }
    EXPECT_EQ(drawn.size(), 5u) << "the idle look and the four frames are not all different";
    EXPECT_EQ(lookToolTip({}), "Brindle");
    EXPECT_EQ(lookToolTip({2}), "Backing up\nSaving -");
}

}  // namespace
}  // namespace brindle::qt
