#include "BrindleApp/qt/QtStatusItem.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QSvgRenderer>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <QPointer>

#include <map>

static void initBrindleIcons() {
    Q_INIT_RESOURCE(icons);
}

namespace brindle::qt {

namespace {

// The shell names its icons after the system symbols of the desktop it was designed
// on; these are Brindle's own drawings of them.
const std::map<std::string, QString>& iconFiles() {
    static const std::map<std::string, QString> files {
        {"externaldrive.badge.icloud", QStringLiteral(":/icons/idle.svg")},
        {"arrow.triangle.2.circlepath", QStringLiteral(":/icons/syncing.svg")},
    };
    return files;
}

const QString syncingIcon = QStringLiteral(":/icons/syncing.svg");

}  // namespace

QtStatusItem::QtStatusItem() {
    initBrindleIcons();
    tray_.setContextMenu(&menu_);
    QObject::connect(&menu_, &QMenu::aboutToShow, [this] { menuAboutToShow(); });
    QObject::connect(&tray_, &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && !menu_.isVisible()) menu_.popup(menuPosition());
    });
    // Autostarted before the panel, or on a desktop without a tray: keep running,
    // and show the icon once a tray is there. Qt docks into an XEmbed tray that
    // appears later by itself (tests/qt/tray-appears-later.sh); this watch re-shows
    // the icon for any tray that Qt does not follow on its own.
    trayWatch_.setInterval(2000);
    QObject::connect(&trayWatch_, &QTimer::timeout, [this] { checkForTray(); });
}

QtStatusItem::~QtStatusItem() {
    tray_.setContextMenu(nullptr);
}

void QtStatusItem::show() {
    wantVisible_ = true;
    trayWasAvailable_ = QSystemTrayIcon::isSystemTrayAvailable();
    tray_.show();
    trayWatch_.start();
}

void QtStatusItem::hide() {
    wantVisible_ = false;
    trayWatch_.stop();
    tray_.hide();
}

void QtStatusItem::checkForTray() {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available && !trayWasAvailable_ && wantVisible_) {
        // A tray appeared (or came back after the panel restarted): dock again.
        tray_.hide();
        tray_.show();
    }
    trayWasAvailable_ = available;
}

QPoint QtStatusItem::menuPosition() {
    // Beside the icon, like a panel's own menus, where the tray says where the icon
    // is; at the pointer otherwise (a tray over D-Bus gives no geometry).
    const QRect icon = tray_.geometry();
    const QScreen* screen = icon.isValid() ? QGuiApplication::screenAt(icon.center()) : nullptr;
    if (screen == nullptr) return QCursor::pos();
    const int height = menu_.sizeHint().height();
    if (icon.center().y() > screen->geometry().center().y()) return {icon.left(), icon.top() - height};
    return {icon.left(), icon.bottom() + 1};
}

QString QtStatusItem::escapedTitle(const std::string& title) {
    QString text = QString::fromStdString(title);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text;
}

QKeySequence QtStatusItem::shortcutFor(const std::string& keyEquivalent) {
    if (keyEquivalent.empty()) return {};
    return QKeySequence(QStringLiteral("Ctrl+") + QString::fromStdString(keyEquivalent).toUpper(),
                        QKeySequence::PortableText);
}

void QtStatusItem::setMenu(std::shared_ptr<shell::Menu> menu) {
    model_ = std::move(menu);
    fillMenu();
}

void QtStatusItem::fillMenu() {
    // Not QMenu::clear(): an action may be in the middle of being chosen, so the old
    // ones are taken out now and deleted once Qt is done with them.
    for (QAction* action : menu_.actions()) {
        menu_.removeAction(action);
        action->deleteLater();
    }
    if (!model_) return;
    for (const auto& item : model_->items) {
        if (item->isSeparator) {
            menu_.addSeparator();
            continue;
        }
        auto* action = new QAction(&menu_);
        action->setShortcut(shortcutFor(item->keyEquivalent));
        action->setShortcutVisibleInContextMenu(true);
        QObject::connect(action, &QAction::triggered, [this, weak = std::weak_ptr<shell::MenuItem>(item)] {
            // Queued, so that the command (which may rebuild this menu or open a modal
            // panel) runs after the menu has closed and Qt has finished with the action.
            QMetaObject::invokeMethod(&menu_, [weak] {
                auto chosen = weak.lock();
                if (chosen && chosen->action) chosen->action();
            }, Qt::QueuedConnection);
        });
        menu_.addAction(action);
    }
    refreshActions();
}

void QtStatusItem::refreshActions() {
    if (!model_) return;
    const QList<QAction*> actions = menu_.actions();
    for (qsizetype i = 0; i < actions.size() && i < static_cast<qsizetype>(model_->items.size()); ++i) {
        const shell::MenuItem& item = *model_->items[static_cast<std::size_t>(i)];
        QAction* action = actions[i];
        if (item.isSeparator) continue;
        action->setText(escapedTitle(item.title));
        action->setEnabled(item.enabled);
        action->setCheckable(item.checkable || item.checked);
        action->setChecked(item.checked);
    }
}

void QtStatusItem::menuAboutToShow() {
    // The shell's menu-will-open hook retitles items of the model; show them as they are now.
    if (model_ && model_->willOpen) model_->willOpen();
    refreshActions();
}

void QtStatusItem::setImage(const std::string& iconName, const std::string& accessibilityDescription) {
    (void)accessibilityDescription;  // a tray icon has no description of its own; the tooltip speaks for it
    const auto found = iconFiles().find(iconName);
    const QString path = found == iconFiles().end() ? QString() : found->second;
    if (path == syncingIcon) {
        rotation_ = (syncingFrames_ % 4) * 45;
        ++syncingFrames_;
    } else {
        rotation_ = 0;
        syncingFrames_ = 0;
    }
    iconPath_ = path;
    redrawIcon();
}

void QtStatusItem::setImageTemplate(bool isTemplate) {
    // Both drawings are already monochrome, outlined to read on dark and light panels.
    (void)isTemplate;
}

void QtStatusItem::setImagePosition(shell::ImagePosition position) {
    // Tray icons show no text beside the image.
    (void)position;
}

void QtStatusItem::setTitle(const std::string& title) {
    tray_.setToolTip(QString::fromStdString(title));
}

void QtStatusItem::redrawIcon() {
    if (iconPath_.isEmpty()) {
        tray_.setIcon(QIcon());
        return;
    }
    if (rotation_ == 0) {
        tray_.setIcon(QIcon(iconPath_));
        return;
    }
    QIcon& turned = turnedIcons_[rotation_];
    if (!turned.isNull()) {
        tray_.setIcon(turned);
        return;
    }
    // Drawn from the vector image, turned, at a few sizes, so the panel picks a sharp one.
    QSvgRenderer renderer(iconPath_);
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(size / 2.0, size / 2.0);
        painter.rotate(rotation_);
        painter.translate(-size / 2.0, -size / 2.0);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        turned.addPixmap(pixmap);
    }
    tray_.setIcon(turned);
}

}  // namespace brindle::qt
