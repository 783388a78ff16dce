#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QPoint>

#include <functional>

#include "BrindleApp/qt/DBusMenuExporter.h"
#include "BrindleApp/qt/DBusObject.h"
#include "BrindleApp/shell/StatusItem.h"

namespace brindle::qt {

// Brindle's item in a tray that speaks StatusNotifierItem over the session bus (KDE,
// LXQt, Xfce's panel, waybar). The item declares itself a menu only, so that the tray
// shows the exported menu on a click, next to the icon, on X11 and Wayland alike; its
// title and its tooltip's heading say what the icon stands for.
class StatusNotifierItem {
public:
    static inline const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

    // `activate` serves a tray that asks the item itself to act on a click (some
    // ignore that it is a menu only) at a point on the screen; it returns false where
    // it cannot show the menu there, and the tray then hears that the item has no
    // such action.
    StatusNotifierItem(QDBusConnection bus, std::function<bool(QPoint)> activate);
    ~StatusNotifierItem();
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // Whether a tray's watcher is on the bus now.
    bool watcherPresent() const;
    // Puts the item and its menu on the bus and registers it with the watcher, now and
    // whenever a watcher appears. `registered` hears each change: true once the
    // watcher took the item, false when there is none or it refused.
    void start(std::function<void(bool)> registered);

    void setLook(const shell::StatusLook& look);
    void setMenu(shell::Menu menu) { menu_.setMenu(std::move(menu)); }

private:
    void registerWithWatcher();
    void emitSignal(const QString& name) const;

    QDBusConnection bus_;
    QString serviceName_;
    DBusObject object_;
    DBusMenuExporter menu_;
    shell::StatusLook look_;
    std::function<bool(QPoint)> activate_;
    std::function<void(bool)> registered_;
    bool exported_ = false;
    QDBusServiceWatcher watcher_;
    // Owns the pending registration calls.
    QObject calls_;
};

}  // namespace brindle::qt
