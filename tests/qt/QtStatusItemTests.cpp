#include "BrindleApp/qt/QtStatusItem.h"

#include <QAction>

#include <gtest/gtest.h>

#include <set>

#include "BrindleApp/qt/TrayIcons.h"
#include "tests/qt/ProcessEvents.h"

namespace brindle::qt {
namespace {

using namespace std::chrono_literals;
using shell::Command;

// The status menu as the shell makes it.
shell::Menu menu(const std::string& statusLine) { return {shell::statusMenuItems(statusLine, true), {}, {}}; }

TEST(QtStatusItem, DrawsEachItemRefreshesTitlesOnOpeningAndRunsAChosenCommandAfterTheMenuCloses) {
    QtStatusItem item;
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
        EXPECT_TRUE(actions[i]->isShortcutVisibleInContextMenu());  // the keys are pressed next
    }
    emit item.menu()->aboutToShow();
    EXPECT_EQ(item.menu()->actions().front()->text(), "Last synced 1 minute ago");

    // Shortcuts act while the menu is open; what an item starts runs only once the menu has
    // closed, and may rebuild the menu it was chosen from.
    const std::vector<std::pair<Qt::Key, Command>> keys {{Qt::Key_B, Command::backUpNow}, {Qt::Key_O, Command::openBackupFolder},
        {Qt::Key_Comma, Command::chooseBackupFolder}, {Qt::Key_U, Command::checkForUpdates}, {Qt::Key_Q, Command::quit}};
    for (const auto& [key, command] : keys) {
        std::vector<Command> performed;
        shell::Menu rebuilding = menu("Brindle is ready");
        rebuilding.perform = [&](Command chosen) {
            performed.push_back(chosen);
            item.setMenu(menu("Backing up Codex files..."));
        };
        item.setMenu(rebuilding);
        item.menu()->popup(QPoint(10, 10));
        testing::processEventsFor(20ms);
        QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
        QCoreApplication::sendEvent(item.menu(), &press);
        EXPECT_TRUE(performed.empty()) << "ran inside the menu's own signal";
        testing::processEventsFor(20ms);
        EXPECT_FALSE(item.menu()->isVisible()) << "the menu stayed open";
        EXPECT_EQ(performed, std::vector {command});
        EXPECT_EQ(item.menu()->actions().front()->text(), "Backing up Codex files...");
        EXPECT_EQ(item.menu()->actions().size(), static_cast<qsizetype>(rebuilding.items.size())) << "the old items were left in";
    }
}

TEST(TrayIcons, DrawExactlyTheLookTheShellGives) {
    std::set<QByteArray> drawn;
    for (const std::optional<int> frame : {std::optional<int>(), {0}, {1}, {2}, {3}}) {
        const QImage image = lookImage({frame}, 64).convertToFormat(QImage::Format_ARGB32);
        // Hosts take each pixel as alpha, red, green, blue, in that order.
        QByteArray argb;
        for (int pixel = 0; pixel < 64 * 64; ++pixel) {
            const QRgb rgb = image.pixel(pixel % 64, pixel / 64);
            argb.append(char(qAlpha(rgb))).append(char(qRed(rgb))).append(char(qGreen(rgb))).append(char(qBlue(rgb)));
        }
        EXPECT_EQ(lookImages({frame}).back().argb, argb);
        drawn.insert(argb);
    }
    EXPECT_EQ(drawn.size(), 5u) << "the idle look and the four frames are not all different";
    EXPECT_EQ(lookToolTip({}), "Brindle");
    EXPECT_EQ(lookToolTip({2}), "Backing up\nSaving -");
}

}  // namespace
}  // namespace brindle::qt
