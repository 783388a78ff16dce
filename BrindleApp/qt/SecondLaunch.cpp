#include "BrindleApp/qt/SecondLaunch.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "BrindleApp/desktop/AppId.h"
#include "BrindleApp/qt/DBusObject.h"

namespace brindle::qt {

namespace {

const QString interfaceName = QStringLiteral("org.freedesktop.Application");

QString serviceName() {
    return QString::fromUtf8(desktop::kAppId.data(), static_cast<qsizetype>(desktop::kAppId.size()));
}

// The application's object path by the convention: "/" and the id with dots as slashes.
QString objectPath() {
    return QLatin1Char('/') + serviceName().replace(QLatin1Char('.'), QLatin1Char('/'));
}

}  // namespace

bool answerLaterLaunches(std::function<void()> onActivate) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    // Lives as long as the tray.
    static DBusObject application(interfaceName, QStringLiteral(R"xml(<interface name="org.freedesktop.Application">
  <method name="Activate"><arg type="a{sv}" direction="in"/></method>
</interface>)xml"));
    application.addMethod(QStringLiteral("Activate"), [onActivate = std::move(onActivate)](const QDBusMessage& call) {
        onActivate();
        return call.createReply();
    });
    const auto claimed = bus.interface()->registerService(serviceName(), QDBusConnectionInterface::ReplaceExistingService,
                                                           QDBusConnectionInterface::DontAllowReplacement);
    return claimed.isValid() && claimed.value() == QDBusConnectionInterface::ServiceRegistered &&
           bus.registerVirtualObject(objectPath(), &application);
}

bool activateRunningTray() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName(), objectPath(), interfaceName, QStringLiteral("Activate"));
    call << QVariantMap();
    return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

void notifyAlreadyRunning() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                       QStringLiteral("/org/freedesktop/Notifications"),
                                       QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Brindle") << 0u << serviceName() << QStringLiteral("Brindle is already running")
         << QStringLiteral("Its menu is in the system tray.") << QStringList() << QVariantMap() << -1;
    // Nothing waits for the answer; a desktop without notifications shows nothing.
    QDBusConnection::sessionBus().asyncCall(call);
}

}  // namespace brindle::qt
