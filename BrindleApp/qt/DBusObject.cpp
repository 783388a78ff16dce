#include "BrindleApp/qt/DBusObject.h"

#include <QDBusError>
#include <QDBusVariant>

namespace brindle::qt {

namespace {

const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

}  // namespace

DBusObject::DBusObject(QString interface, QString introspection)
    : interface_(std::move(interface)), introspection_(std::move(introspection)) {}

void DBusObject::addMethod(const QString& name, Method method) {
    methods_.insert(name, std::move(method));
}

void DBusObject::addProperty(const QString& name, std::function<QVariant()> read) {
    properties_.insert(name, std::move(read));
}

void DBusObject::emitSignal(const QDBusConnection& bus, const QString& path, const QString& name,
                            const QVariantList& arguments) const {
    QDBusMessage signal = QDBusMessage::createSignal(path, interface_, name);
    signal.setArguments(arguments);
    bus.send(signal);
}

QString DBusObject::introspect(const QString&) const {
    return introspection_;
}

bool DBusObject::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    QDBusMessage reply;
    if (message.interface() == propertiesInterface) {
        reply = properties(message);
    } else if ((message.interface().isEmpty() || message.interface() == interface_) &&
               methods_.contains(message.member())) {
        reply = methods_.value(message.member())(message);
    } else {
        return false;  // Qt answers that there is no such method
    }
    if (message.isReplyRequired()) connection.send(reply);
    return true;
}

QDBusMessage DBusObject::properties(const QDBusMessage& call) const {
    const QVariantList arguments = call.arguments();
    const QString interface = arguments.value(0).toString();
    if (interface != interface_)
        return call.createErrorReply(QDBusError::UnknownInterface, QStringLiteral("No interface ") + interface);
    if (call.member() == QLatin1String("GetAll") && arguments.size() == 1) {
        QVariantMap all;
        for (auto property = properties_.begin(); property != properties_.end(); ++property)
            all.insert(property.key(), property.value()());
        return call.createReply(all);
    }
    const QString name = arguments.value(1).toString();
    if (call.member() == QLatin1String("Get") && arguments.size() == 2 && properties_.contains(name))
        return call.createReply(QVariant::fromValue(QDBusVariant(properties_.value(name)())));
    if (call.member() == QLatin1String("Set"))
        return call.createErrorReply(QDBusError::PropertyReadOnly, QStringLiteral("Read-only: ") + name);
    return call.createErrorReply(QDBusError::UnknownProperty, QStringLiteral("No property ") + name);
}

}  // namespace brindle::qt
