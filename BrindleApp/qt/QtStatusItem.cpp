#include "BrindleApp/qt/QtStatusItem.h"

#include <QAction>
#include <QCursor>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>

#include "BrindleApp/qt/TrayIcons.h"

namespace brindle::qt {

namespace {

// A menu title as Qt shows it: "&" would start a mnemonic, so it is doubled.
QString escapedTitle(const std::string& title) {
    return QString::fromStdString(title).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// "Ctrl+B" for "b"; empty for no key.
QKeySequence shortcutFor(const std::string& keyEquivalent) {
    if (keyEquivalent.empty()) return {};
    return QKeySequence(QStringLiteral("Ctrl+") + QString::fromStdString(keyEquivalent).toUpper(),
                        QKeySequence::PortableText);
}

}  // namespace

void ShortcutMenu::keyPressEvent(QKeyEvent* event) {
    const QKeySequence pressed(QKeyCombination(event->modifiers() & ~Qt::KeypadModifier, Qt::Key(event->key())));
    for (QAction* action : actions()) {
        if (action->isEnabled() && !action->shortcut().isEmpty() && action->shortcut() == pressed) {
            close();
            action->trigger();
            return;
        }
    }
    QMenu::keyPressEvent(event);
}

QtStatusItem::QtStatusItem()
    : statusNotifierItem_(QDBusConnection::sessionBus(), [this](QPoint at) { return popUp(QRect(at, QSize(1, 1))); }) {
    QObject::connect(&menu_, &QMenu::aboutToShow, [this] { aboutToShow(); });
    // Autostarted before the panel, or on a desktop without a tray: keep running, and
    // show the icon once a tray is there. Qt docks into an XEmbed tray that appears
    // later by itself (tests/qt/tray-appears-later.sh); this watch re-shows the icon
    // for any tray that Qt does not follow on its own.
    trayWatch_.setInterval(2000);
    QObject::connect(&trayWatch_, &QTimer::timeout, [this] { checkForTray(); });
}

QtStatusItem::~QtStatusItem() {
    if (xembed_) xembed_->setContextMenu(nullptr);
}

void QtStatusItem::setLook(const shell::StatusLook& look) {
    look_ = look;
    statusNotifierItem_.setLook(look);
    if (!xembed_) return;
    xembed_->setIcon(lookIcon(look));
    xembed_->setToolTip(lookToolTip(look));
}

void QtStatusItem::setMenu(shell::Menu menu) {
    model_ = menu;
    statusNotifierItem_.setMenu(std::move(menu));
    fillMenu();
}

void QtStatusItem::show() {
    statusNotifierItem_.start([this](bool registered) { useXEmbed(!registered); });
}

void QtStatusItem::useXEmbed(bool use) {
    if (!use) {
        trayWatch_.stop();
        if (xembed_) xembed_->hide();
        return;
    }
    if (!xembed_) {
        xembed_ = std::make_unique<QSystemTrayIcon>();
        // Some trays hide an icon without a menu; a click opens it too.
        xembed_->setContextMenu(&menu_);
        QObject::connect(xembed_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason why) {
            if (why == QSystemTrayIcon::Trigger) popUpAtIcon();
        });
        setLook(look_);
    }
    trayWasAvailable_ = QSystemTrayIcon::isSystemTrayAvailable();
    xembed_->show();
    trayWatch_.start();
}

void QtStatusItem::checkForTray() {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available && !trayWasAvailable_) {
        // A tray appeared (or came back after the panel restarted): dock again.
        xembed_->hide();
        xembed_->show();
    }
    trayWasAvailable_ = available;
}

bool QtStatusItem::popUpAtIcon() {
    if (!xembed_ || !xembed_->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable()) return false;
    const QRect icon = xembed_->geometry();
    return popUp(icon.isValid() ? icon : QRect(QCursor::pos(), QSize(1, 1)));
}

bool QtStatusItem::popUp(QRect beside) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    if (menu_.isVisible()) return true;
    // Like a panel's own menus: above the icon on a panel in the lower half of the
    // screen, below it otherwise.
    const QScreen* screen = QGuiApplication::screenAt(beside.center());
    const bool above = screen != nullptr && beside.center().y() > screen->geometry().center().y();
    menu_.popup(above ? QPoint(beside.left(), beside.top() - menu_.sizeHint().height())
                      : QPoint(beside.left(), beside.bottom() + 1));
    return true;
}

void QtStatusItem::fillMenu() {
    // Not QMenu::clear(): an action may be in the middle of being chosen, so the old
    // ones are taken out now and deleted once Qt is done with them.
    for (QAction* action : menu_.actions()) {
        menu_.removeAction(action);
        action->deleteLater();
    }
    for (const shell::MenuItem& item : model_.items) {
        if (item.isSeparator) {
            menu_.addSeparator();
            continue;
        }
        auto* action = new QAction(&menu_);
        action->setShortcut(shortcutFor(item.keyEquivalent));
        action->setShortcutVisibleInContextMenu(true);
        if (item.command) {
            QObject::connect(action, &QAction::triggered, [this, command = *item.command] {
                // Queued, so that the command (which may rebuild this menu or open a
                // modal panel) runs after the menu has closed and Qt is done with it.
                QMetaObject::invokeMethod(&menu_, [perform = model_.perform, command] { perform(command); },
                                          Qt::QueuedConnection);
            });
        }
        menu_.addAction(action);
    }
    refreshActions();
}

void QtStatusItem::refreshActions() {
    const QList<QAction*> actions = menu_.actions();
    for (qsizetype i = 0; i < actions.size() && i < static_cast<qsizetype>(model_.items.size()); ++i) {
        const shell::MenuItem& item = model_.items[static_cast<std::size_t>(i)];
        if (item.isSeparator) continue;
        actions[i]->setText(escapedTitle(item.title));
        actions[i]->setEnabled(item.command.has_value());
        actions[i]->setCheckable(item.checked.has_value());
        actions[i]->setChecked(item.checked.value_or(false));
    }
}

void QtStatusItem::aboutToShow() {
    if (model_.willOpen) model_.willOpen(model_);
    refreshActions();
}

}  // namespace brindle::qt
