#pragma once

#include <QIcon>
#include <QMenu>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <map>
#include <memory>
#include <string>

#include "BrindleApp/shell/StatusItem.h"

namespace brindle::qt {

// The status item as a QSystemTrayIcon. Linux tray icons carry no text, so the
// button's title becomes the tooltip. One QMenu lives as long as the item and is
// always the icon's context menu: some panels hide an icon without one, and a panel
// may be showing it while the shell rebuilds, so a rebuild clears and refills it
// instead of replacing it. A left click opens the same menu.
class QtStatusItem final : public shell::StatusItem, private shell::StatusButton {
public:
    QtStatusItem();
    ~QtStatusItem() override;

    shell::StatusButton* button() override { return this; }
    void setMenu(std::shared_ptr<shell::Menu> menu) override;

    // Shows the icon now if a tray is there, else as soon as one appears.
    void show();
    void hide();

    // For tests and diagnostics.
    QMenu* menu() { return &menu_; }
    QSystemTrayIcon* trayIcon() { return &tray_; }
    const QString& currentIconPath() const { return iconPath_; }
    int rotationDegrees() const { return rotation_; }

    // A menu title as Qt shows it: "&" would start a mnemonic, so it is doubled.
    static QString escapedTitle(const std::string& title);
    // "Ctrl+B" for "b"; empty for no key.
    static QKeySequence shortcutFor(const std::string& keyEquivalent);

private:
    // StatusButton
    void setImage(const std::string& iconName, const std::string& accessibilityDescription) override;
    bool hasImage() const override { return !iconPath_.isEmpty(); }
    void setImageTemplate(bool isTemplate) override;
    void setImagePosition(shell::ImagePosition position) override;
    void setTitle(const std::string& title) override;

    void fillMenu();
    void menuAboutToShow();
    void refreshActions();
    void redrawIcon();
    void checkForTray();
    QPoint menuPosition();

    QSystemTrayIcon tray_;
    QMenu menu_;
    std::shared_ptr<shell::Menu> model_;
    QString iconPath_;
    // The syncing icon turns by 45 degrees with each spinner frame; its arrows are
    // symmetric under a half turn, so four frames make one seamless cycle.
    int rotation_ = 0;
    int syncingFrames_ = 0;
    // The syncing icon at each turn, drawn once.
    std::map<int, QIcon> turnedIcons_;
    bool wantVisible_ = false;
    bool trayWasAvailable_ = false;
    QTimer trayWatch_;
};

}  // namespace brindle::qt
