#include "BrindleApp/qt/TrayIcons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QtEndian>

#include <array>
#include <map>

static void loadBrindleIcons() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)loaded;
}

namespace brindle::qt {

namespace {

constexpr std::array<int, 6> sizes {16, 22, 24, 32, 48, 64};

// Idle, then the spinner's frames.
int lookKey(const shell::StatusLook& look) {
    return look.syncingFrame.value_or(-1);
}

}  // namespace

QImage lookImage(const shell::StatusLook& look, int size) {
    loadBrindleIcons();
    QSvgRenderer renderer(look.syncingFrame ? QStringLiteral(":/icons/syncing.svg") : QStringLiteral(":/icons/idle.svg"));
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(size / 2.0, size / 2.0);
    painter.rotate(look.syncingFrame.value_or(0) * 45);
    painter.translate(-size / 2.0, -size / 2.0);
    renderer.render(&painter, QRectF(0, 0, size, size));
    return image;
}

QIcon lookIcon(const shell::StatusLook& look) {
    static std::map<int, QIcon> drawn;
    QIcon& icon = drawn[lookKey(look)];
    if (icon.isNull())
        for (int size : sizes) icon.addPixmap(QPixmap::fromImage(lookImage(look, size)));
    return icon;
}

DBusImages lookImages(const shell::StatusLook& look) {
    static std::map<int, DBusImages> drawn;
    DBusImages& images = drawn[lookKey(look)];
    if (!images.isEmpty()) return images;
    for (int size : sizes) {
        const QImage image = lookImage(look, size).convertToFormat(QImage::Format_ARGB32);
        QByteArray argb(size * size * 4, Qt::Uninitialized);
        auto* out = reinterpret_cast<uchar*>(argb.data());
        for (int y = 0; y < size; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < size; ++x, out += 4) qToBigEndian<quint32>(line[x], out);
        }
        images.append({size, size, argb});
    }
    return images;
}

QString lookToolTip(const shell::StatusLook& look) {
    const QString title = QString::fromStdString(look.title());
    const QString description = QString::fromStdString(look.accessibilityDescription());
    return description == title ? title : description + QLatin1Char('\n') + title;
}

QIcon applicationIcon() {
    loadBrindleIcons();
    return QIcon(QStringLiteral(":/icons/app.svg"));
}

}  // namespace brindle::qt
