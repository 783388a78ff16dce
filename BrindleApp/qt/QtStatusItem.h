#pragma once

#include <QKeyEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

#include "BrindleApp/qt/StatusNotifierItem.h"
#include "BrindleApp/shell/StatusItem.h"

namespace brindle::qt {

// A popup menu whose items' shortcuts act while it is open: Qt only honours an
// action's shortcut in a window that is active, which a tray's menu never is.
class ShortcutMenu final : public QMenu {
protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The status item in the system tray. Where the session bus has a StatusNotifierItem
// tray, the item and its menu are exported there and the tray draws them; otherwise a
// QSystemTrayIcon docks into an XEmbed tray, with this popup menu opening beside it on
// a click. Linux tray icons carry no text, so a look's title goes to the tooltip.
class QtStatusItem final : public shell::StatusItem {
public:
    QtStatusItem();
    ~QtStatusItem() override;

    void setLook(const shell::StatusLook& look) override;
    void setMenu(shell::Menu menu) override;

    // Shows the item now if a tray is there, else as soon as one appears; it moves to
    // a StatusNotifierItem tray whenever one comes.
    void show();
    // Opens the menu beside the XEmbed icon; false where there is no docked icon.
    bool popUpAtIcon();

    QMenu* menu() { return &menu_; }

private:
    void fillMenu();
    void refreshActions();
    void aboutToShow();
    // Opens the popup menu beside `beside` (on the screen), where a popup can be placed
    // there: on X11. False where it cannot be.
    bool popUp(QRect beside);
    void useXEmbed(bool use);
    void checkForTray();

    ShortcutMenu menu_;
    shell::Menu model_;
    shell::StatusLook look_;
    StatusNotifierItem statusNotifierItem_;
    // Made only once no StatusNotifierItem tray took the item: made while one is on the
    // bus, Qt would export an item of its own there.
    std::unique_ptr<QSystemTrayIcon> xembed_;
    bool trayWasAvailable_ = false;
    QTimer trayWatch_;
};

}  // namespace brindle::qt
