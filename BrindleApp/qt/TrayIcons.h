#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

#include "BrindleApp/qt/DBusTypes.h"
#include "BrindleApp/shell/StatusItem.h"

namespace brindle::qt {

// The drawings of the status item's looks: a drive while idle; while a backup runs,
// circular arrows turned by an eighth for each spinner frame (they look the same after
// a half turn, so the four frames make one seamless cycle). Both are monochrome and
// outlined, to read on dark and light panels.
QImage lookImage(const shell::StatusLook& look, int size);
// The look at the sizes panels ask for, drawn once per look.
QIcon lookIcon(const shell::StatusLook& look);
// The same, as StatusNotifierItem hosts take images.
DBusImages lookImages(const shell::StatusLook& look);
// An XEmbed tray icon's tooltip: what the icon stands for, with the title below it
// where that says more ("Backing up", then "Saving |").
QString lookToolTip(const shell::StatusLook& look);

// Brindle's own icon, for its windows.
QIcon applicationIcon();

}  // namespace brindle::qt
