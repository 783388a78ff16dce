#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QHash>
#include <QMap>
#include <QString>
#include <QVariant>

#include <functional>

namespace brindle::qt {

// An object on a bus that offers one interface whose methods and read-only properties
// are plain functions, so that no generated adaptor is needed.
class DBusObject final : public QDBusVirtualObject {
public:
    // Answers a call with its reply (or an error reply).
    using Method = std::function<QDBusMessage(const QDBusMessage& call)>;

    // `introspection` is the <interface> element that describes `interface` to callers.
    DBusObject(QString interface, QString introspection);

    void addMethod(const QString& name, Method method);
    void addProperty(const QString& name, std::function<QVariant()> read);
    // Emits a signal of the interface from `path`.
    void emitSignal(const QDBusConnection& bus, const QString& path, const QString& name,
                    const QVariantList& arguments) const;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QDBusMessage properties(const QDBusMessage& call) const;

    QString interface_;
    QString introspection_;
    QHash<QString, Method> methods_;
    QMap<QString, std::function<QVariant()>> properties_;
};

}  // namespace brindle::qt
