#pragma once

#include <QDBusConnection>
#include <QObject>

#include "BrindleApp/qt/DBusObject.h"
#include "BrindleApp/qt/DBusTypes.h"
#include "BrindleApp/shell/Menu.h"

namespace brindle::qt {

// A shell menu exported as com.canonical.dbusmenu, the menu protocol of
// StatusNotifierItem trays, which draw the menu themselves next to the icon. An
// item's id is its position (from 1; the root is 0).
class DBusMenuExporter {
public:
    static inline const QString path = QStringLiteral("/MenuBar");

    explicit DBusMenuExporter(QDBusConnection bus);

    // Replaces the menu; trays fetch the new layout.
    void setMenu(shell::Menu menu);
    DBusObject& object() { return object_; }

private:
    bool exists(int id) const;
    QVariantMap properties(int id) const;
    DBusMenuNode node(int id, int depth, const QStringList& names) const;
    // Before a tray shows the menu: the menu's own hook, then the changed items.
    void aboutToShow();
    void event(int id, const QString& eventId);

    QDBusConnection bus_;
    DBusObject object_;
    shell::Menu menu_;
    uint revision_ = 1;
    // Commands run as jobs of their own once the tray's call has been answered.
    QObject queue_;
};

}  // namespace brindle::qt
