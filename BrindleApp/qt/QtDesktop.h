#pragma once

#include <QPointer>
#include <QString>

#include <string>

#include "BrindleApp/shell/Desktop.h"

class QMessageBox;

namespace brindle::qt {

// The desktop's dialogs, file manager and software centre, through Qt.
class QtDesktop final : public shell::Desktop {
public:
    void showError(const std::string& messageText, const std::string& informativeText) override;
    // Only folders, one at a time; creating a new one is the dialog's own button.
    std::optional<Path> chooseFolder(const std::string& title, const Path& startingFolder) override;
    void openFolder(const Path& folder) override;
    // Brindle is updated by the system's package manager and makes no network requests
    // of its own. A check opens the software centre's page for Brindle where the
    // desktop handles appstream: links, else says how Brindle is updated and which
    // version is installed.
    void checkForUpdates() override;
    // Leaves every event loop, nested ones under a modal panel included.
    void terminate() override;

    // Whether some installed application claims the appstream: scheme.
    static bool desktopHandlesAppstreamLinks();

private:
    // Not modal: nothing waits for it, and a second check raises the one that is open.
    QPointer<QMessageBox> updateDialog_;
};

}  // namespace brindle::qt
