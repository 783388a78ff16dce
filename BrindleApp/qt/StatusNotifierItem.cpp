#include "BrindleApp/qt/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>

#include "BrindleApp/desktop/AppId.h"
#include "BrindleApp/qt/TrayIcons.h"

namespace brindle::qt {

namespace {

const QString interfaceName = QStringLiteral("org.kde.StatusNotifierItem");
const QString itemPath = QStringLiteral("/StatusNotifierItem");

const QString introspection = QStringLiteral(R"xml(<interface name="org.kde.StatusNotifierItem">
  <property name="Category" type="s" access="read"/>
  <property name="Id" type="s" access="read"/>
  <property name="Title" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="WindowId" type="i" access="read"/>
  <property name="IconThemePath" type="s" access="read"/>
  <property name="IconName" type="s" access="read"/>
  <property name="IconPixmap" type="a(iiay)" access="read"/>
  <property name="OverlayIconName" type="s" access="read"/>
  <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
  <property name="AttentionIconName" type="s" access="read"/>
  <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
  <property name="AttentionMovieName" type="s" access="read"/>
  <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
  <property name="ItemIsMenu" type="b" access="read"/>
  <property name="Menu" type="o" access="read"/>
  <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
  <method name="ProvideXdgActivationToken"><arg name="token" type="s" direction="in"/></method>
  <signal name="NewTitle"/>
  <signal name="NewIcon"/>
  <signal name="NewAttentionIcon"/>
  <signal name="NewOverlayIcon"/>
  <signal name="NewToolTip"/>
  <signal name="NewStatus"><arg name="status" type="s"/></signal>
</interface>)xml");

}  // namespace

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, std::function<bool(QPoint)> activate)
    : bus_(std::move(bus)),
      serviceName_(QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid())),
      object_(interfaceName, introspection),
      menu_(bus_),
      activate_(std::move(activate)) {
    registerDBusTypes();
    auto text = [](QString value) { return [value] { return QVariant(value); }; };
    object_.addProperty(QStringLiteral("Category"), text(QStringLiteral("ApplicationStatus")));
    object_.addProperty(QStringLiteral("Id"), text(QString::fromUtf8(desktop::kAppId.data(),
                                                                    static_cast<qsizetype>(desktop::kAppId.size()))));
    object_.addProperty(QStringLiteral("Status"), text(QStringLiteral("Active")));
    object_.addProperty(QStringLiteral("WindowId"), [] { return QVariant(0); });
    for (const char* name : {"IconThemePath", "IconName", "OverlayIconName", "AttentionIconName", "AttentionMovieName"})
        object_.addProperty(QString::fromLatin1(name), text(QString()));
    for (const char* name : {"OverlayIconPixmap", "AttentionIconPixmap"})
        object_.addProperty(QString::fromLatin1(name), [] { return QVariant::fromValue(DBusImages()); });
    object_.addProperty(QStringLiteral("ItemIsMenu"), [] { return QVariant(true); });
    object_.addProperty(QStringLiteral("Menu"), [] { return QVariant::fromValue(QDBusObjectPath(DBusMenuExporter::path)); });
    object_.addProperty(QStringLiteral("Title"), [this] {
        return QVariant(QString::fromStdString(look_.accessibilityDescription()));
    });
    object_.addProperty(QStringLiteral("IconPixmap"), [this] { return QVariant::fromValue(lookImages(look_)); });
    object_.addProperty(QStringLiteral("ToolTip"), [this] {
        const QString title = QString::fromStdString(look_.title());
        const QString heading = QString::fromStdString(look_.accessibilityDescription());
        return QVariant::fromValue(DBusToolTip {QString(), {}, heading, title == heading ? QString() : title});
    });

    auto click = [this](const QDBusMessage& call) {
        const QPoint at(call.arguments().value(0).toInt(), call.arguments().value(1).toInt());
        if (activate_ && activate_(at)) return call.createReply();
        return call.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("Brindle's item is its menu"));
    };
    object_.addMethod(QStringLiteral("Activate"), click);
    object_.addMethod(QStringLiteral("ContextMenu"), click);
    for (const char* name : {"SecondaryActivate", "Scroll", "ProvideXdgActivationToken"})
        object_.addMethod(QString::fromLatin1(name), [](const QDBusMessage& call) { return call.createReply(); });
}

StatusNotifierItem::~StatusNotifierItem() {
    if (!exported_) return;
    bus_.unregisterObject(itemPath);
    bus_.unregisterObject(DBusMenuExporter::path);
    bus_.unregisterService(serviceName_);
}

bool StatusNotifierItem::watcherPresent() const {
    return bus_.isConnected() && bus_.interface()->isServiceRegistered(watcherService).value();
}

void StatusNotifierItem::start(std::function<void(bool)> registered) {
    registered_ = std::move(registered);
    if (!exported_ && bus_.isConnected()) {
        exported_ = bus_.registerService(serviceName_) && bus_.registerVirtualObject(itemPath, &object_) &&
                    bus_.registerVirtualObject(DBusMenuExporter::path, &menu_.object());
        if (exported_) {
            watcher_.setConnection(bus_);
            watcher_.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
            watcher_.addWatchedService(watcherService);
            QObject::connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, &calls_,
                             [this](const QString&, const QString&, const QString& newOwner) {
                                 // A panel that restarts takes its watcher with it.
                                 if (newOwner.isEmpty()) registered_(false); else registerWithWatcher();
                             });
        }
    }
    if (exported_ && watcherPresent()) registerWithWatcher(); else registered_(false);
}

void StatusNotifierItem::registerWithWatcher() {
    QDBusMessage call = QDBusMessage::createMethodCall(watcherService, QStringLiteral("/StatusNotifierWatcher"),
                                                       watcherService, QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName_;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), &calls_);
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, &calls_, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        registered_(!done->isError());
    });
}

void StatusNotifierItem::setLook(const shell::StatusLook& look) {
    const bool newTitle = look.accessibilityDescription() != look_.accessibilityDescription();
    look_ = look;
    if (!exported_) return;
    if (newTitle) emitSignal(QStringLiteral("NewTitle"));
    emitSignal(QStringLiteral("NewIcon"));
    emitSignal(QStringLiteral("NewToolTip"));
}

void StatusNotifierItem::emitSignal(const QString& name) const {
    object_.emitSignal(bus_, itemPath, name, {});
}

}  // namespace brindle::qt
