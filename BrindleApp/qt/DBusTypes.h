#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace brindle::qt {

// The structures a tray's D-Bus protocols exchange, each with its D-Bus signature.

// An image as ARGB32 pixels in network byte order: (iiay).
struct DBusImage {
    int width = 0;
    int height = 0;
    QByteArray argb;
};
using DBusImages = QList<DBusImage>;

// A StatusNotifierItem's tooltip: (sa(iiay)ss), an icon name, images, heading and body.
struct DBusToolTip {
    QString iconName;
    DBusImages images;
    QString title;
    QString description;
};

// One node of an exported menu with its children: (ia{sv}av).
struct DBusMenuNode {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuNode> children;
};

// The properties of one menu item: (ia{sv}).
struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;

// Property names removed from one menu item: (ias).
struct DBusMenuRemovedProperties {
    int id = 0;
    QStringList names;
};
using DBusMenuRemovedPropertiesList = QList<DBusMenuRemovedProperties>;

// A key combination of an exported menu item, e.g. [["Control", "b"]]: aas.
using DBusMenuShortcut = QList<QStringList>;

// Makes the types above known to Qt's D-Bus marshalling; call before any is sent.
void registerDBusTypes();

QDBusArgument& operator<<(QDBusArgument& argument, const DBusImage& image);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusImage& image);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusToolTip& toolTip);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuNode& node);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuNode& node);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuRemovedProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuRemovedProperties& item);

}  // namespace brindle::qt

Q_DECLARE_METATYPE(brindle::qt::DBusImage)
Q_DECLARE_METATYPE(brindle::qt::DBusToolTip)
Q_DECLARE_METATYPE(brindle::qt::DBusMenuNode)
Q_DECLARE_METATYPE(brindle::qt::DBusMenuItemProperties)
Q_DECLARE_METATYPE(brindle::qt::DBusMenuRemovedProperties)
