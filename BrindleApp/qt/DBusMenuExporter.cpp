#include "BrindleApp/qt/DBusMenuExporter.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusVariant>

namespace brindle::qt {

namespace {

const QString interfaceName = QStringLiteral("com.canonical.dbusmenu");

const QString introspection = QStringLiteral(R"xml(<interface name="com.canonical.dbusmenu">
  <property name="Version" type="u" access="read"/>
  <property name="TextDirection" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="IconThemePath" type="as" access="read"/>
  <method name="GetLayout"><arg type="i" direction="in"/><arg type="i" direction="in"/><arg type="as" direction="in"/>
    <arg type="u" direction="out"/><arg type="(ia{sv}av)" direction="out"/></method>
  <method name="GetGroupProperties"><arg type="ai" direction="in"/><arg type="as" direction="in"/>
    <arg type="a(ia{sv})" direction="out"/></method>
  <method name="GetProperty"><arg type="i" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="Event"><arg type="i" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="in"/>
    <arg type="u" direction="in"/></method>
  <method name="EventGroup"><arg type="a(isvu)" direction="in"/><arg type="ai" direction="out"/></method>
  <method name="AboutToShow"><arg type="i" direction="in"/><arg type="b" direction="out"/></method>
  <method name="AboutToShowGroup"><arg type="ai" direction="in"/><arg type="ai" direction="out"/>
    <arg type="ai" direction="out"/></method>
  <signal name="ItemsPropertiesUpdated"><arg type="a(ia{sv})"/><arg type="a(ias)"/></signal>
  <signal name="LayoutUpdated"><arg type="u"/><arg type="i"/></signal>
  <signal name="ItemActivationRequested"><arg type="i"/><arg type="u"/></signal>
</interface>)xml");

// An underscore marks a mnemonic in this protocol; a title's own is doubled.
QString label(const std::string& title) {
    return QString::fromStdString(title).replace(QLatin1Char('_'), QStringLiteral("__"));
}

// The key as trays name it (GDK's key names): "b", "comma".
QString keyName(const std::string& key) {
    if (key == ",") return QStringLiteral("comma");
    return QString::fromStdString(key).toLower();
}

QVariantMap only(const QVariantMap& all, const QStringList& names) {
    if (names.isEmpty()) return all;
    QVariantMap wanted;
    for (const QString& name : names)
        if (all.contains(name)) wanted.insert(name, all.value(name));
    return wanted;
}

QList<int> ids(const QVariant& argument) {
    return qdbus_cast<QList<int>>(argument);
}

}  // namespace

DBusMenuExporter::DBusMenuExporter(QDBusConnection bus) : bus_(std::move(bus)), object_(interfaceName, introspection) {
    object_.addProperty(QStringLiteral("Version"), [] { return QVariant::fromValue(3u); });
    object_.addProperty(QStringLiteral("TextDirection"), [] { return QStringLiteral("ltr"); });
    object_.addProperty(QStringLiteral("Status"), [] { return QStringLiteral("normal"); });
    object_.addProperty(QStringLiteral("IconThemePath"), [] { return QStringList(); });

    object_.addMethod(QStringLiteral("GetLayout"), [this](const QDBusMessage& call) {
        const QVariantList arguments = call.arguments();
        const int parent = arguments.value(0).toInt();
        if (!exists(parent)) return call.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("No such item"));
        const DBusMenuNode layout = node(parent, arguments.value(1).toInt(), arguments.value(2).toStringList());
        return call.createReply(QVariantList {QVariant::fromValue(revision_), QVariant::fromValue(layout)});
    });
    object_.addMethod(QStringLiteral("GetGroupProperties"), [this](const QDBusMessage& call) {
        QList<int> wanted = ids(call.arguments().value(0));
        if (wanted.isEmpty())
            for (int id = 0; id <= static_cast<int>(menu_.items.size()); ++id) wanted.append(id);
        DBusMenuItemPropertiesList result;
        for (int id : wanted)
            if (exists(id)) result.append({id, only(properties(id), call.arguments().value(1).toStringList())});
        return call.createReply(QVariant::fromValue(result));
    });
    object_.addMethod(QStringLiteral("GetProperty"), [this](const QDBusMessage& call) {
        const int id = call.arguments().value(0).toInt();
        const QVariantMap all = exists(id) ? properties(id) : QVariantMap();
        const QString name = call.arguments().value(1).toString();
        if (!all.contains(name)) return call.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("No such property"));
        return call.createReply(QVariant::fromValue(QDBusVariant(all.value(name))));
    });
    object_.addMethod(QStringLiteral("Event"), [this](const QDBusMessage& call) {
        event(call.arguments().value(0).toInt(), call.arguments().value(1).toString());
        return call.createReply();
    });
    object_.addMethod(QStringLiteral("EventGroup"), [this](const QDBusMessage& call) {
        QList<int> unknown;
        const auto events = call.arguments().value(0).value<QDBusArgument>();
        events.beginArray();
        while (!events.atEnd()) {
            int id = 0;
            QString eventId;
            QDBusVariant data;
            uint timestamp = 0;
            events.beginStructure();
            events >> id >> eventId >> data >> timestamp;
            events.endStructure();
            if (exists(id)) event(id, eventId); else unknown.append(id);
        }
        events.endArray();
        return call.createReply(QVariant::fromValue(unknown));
    });
    object_.addMethod(QStringLiteral("AboutToShow"), [this](const QDBusMessage& call) {
        if (call.arguments().value(0).toInt() == 0) aboutToShow();
        // Changed titles have gone out as property updates; the layout is the same.
        return call.createReply(false);
    });
    object_.addMethod(QStringLiteral("AboutToShowGroup"), [this](const QDBusMessage& call) {
        QList<int> unknown;
        for (int id : ids(call.arguments().value(0))) {
            if (id == 0) aboutToShow();
            if (!exists(id)) unknown.append(id);
        }
        return call.createReply(QVariantList {QVariant::fromValue(QList<int>()), QVariant::fromValue(unknown)});
    });
}

void DBusMenuExporter::setMenu(shell::Menu menu) {
    menu_ = std::move(menu);
    ++revision_;
    object_.emitSignal(bus_, path, QStringLiteral("LayoutUpdated"), {QVariant::fromValue(revision_), 0});
}

bool DBusMenuExporter::exists(int id) const {
    return id >= 0 && id <= static_cast<int>(menu_.items.size());
}

QVariantMap DBusMenuExporter::properties(int id) const {
    if (id == 0) return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
    const shell::MenuItem& item = menu_.items.at(static_cast<std::size_t>(id - 1));
    if (item.isSeparator) return {{QStringLiteral("type"), QStringLiteral("separator")}};
    QVariantMap result {
        {QStringLiteral("label"), label(item.title)},
        {QStringLiteral("enabled"), item.command.has_value()},
    };
    if (item.checked) {
        result.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
        result.insert(QStringLiteral("toggle-state"), *item.checked ? 1 : 0);
    }
    if (!item.keyEquivalent.empty()) {
        const DBusMenuShortcut shortcut {{QStringLiteral("Control"), keyName(item.keyEquivalent)}};
        result.insert(QStringLiteral("shortcut"), QVariant::fromValue(shortcut));
    }
    return result;
}

DBusMenuNode DBusMenuExporter::node(int id, int depth, const QStringList& names) const {
    DBusMenuNode result {id, only(properties(id), names), {}};
    // A depth of -1 asks for the whole tree; only the root has children.
    if (id == 0 && depth != 0)
        for (int child = 1; child <= static_cast<int>(menu_.items.size()); ++child)
            result.children.append(node(child, depth - 1, names));
    return result;
}

void DBusMenuExporter::aboutToShow() {
    if (!menu_.willOpen) return;
    const std::vector<shell::MenuItem> before = menu_.items;
    menu_.willOpen(menu_);
    DBusMenuItemPropertiesList changed;
    for (std::size_t i = 0; i < menu_.items.size() && i < before.size(); ++i)
        if (menu_.items[i] != before[i]) changed.append({static_cast<int>(i) + 1, properties(static_cast<int>(i) + 1)});
    if (changed.isEmpty()) return;
    object_.emitSignal(bus_, path, QStringLiteral("ItemsPropertiesUpdated"),
                       {QVariant::fromValue(changed), QVariant::fromValue(DBusMenuRemovedPropertiesList())});
}

void DBusMenuExporter::event(int id, const QString& eventId) {
    if (eventId == QLatin1String("opened") && id == 0) return aboutToShow();
    if (eventId != QLatin1String("clicked") || id < 1 || !exists(id)) return;
    const std::optional<shell::Command> command = menu_.items.at(static_cast<std::size_t>(id - 1)).command;
    if (!command || !menu_.perform) return;
    QMetaObject::invokeMethod(&queue_, [perform = menu_.perform, command = *command] { perform(command); },
                              Qt::QueuedConnection);
}

}  // namespace brindle::qt
