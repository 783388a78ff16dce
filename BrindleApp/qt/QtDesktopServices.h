#pragma once

#include <QPointer>

#include <string>

#include "BrindleApp/shell/Alerts.h"
#include "BrindleApp/shell/Application.h"
#include "BrindleApp/shell/FileBrowser.h"
#include "BrindleApp/shell/FolderChooser.h"
#include "BrindleApp/shell/Updater.h"

class QMessageBox;

namespace brindle::qt {

// A modal warning: the headline, and the error's description below it.
class QtAlerts final : public shell::Alerts {
public:
    void showError(const std::string& messageText, const std::string& informativeText) override;
};

// A modal folder-only dialog; an empty answer is a cancel.
class QtFolderChooser final : public shell::FolderChooser {
public:
    std::optional<Path> chooseFolder(const shell::FolderChooserOptions& options) override;
};

// The desktop's file manager, through QDesktopServices.
class QtFileBrowser final : public shell::FileBrowser {
public:
    void openFolder(const Path& folder) override;
};

// Brindle is updated by the system's package manager and makes no network requests
// of its own. A check opens the software centre's page for Brindle where the desktop
// handles appstream: links, else says how Brindle is updated and which version is
// installed.
class PackageManagerUpdater final : public shell::Updater {
public:
    void checkForUpdates() override;

    // The text of the information dialog.
    static QString explanation();
    // Whether some installed application claims the appstream: scheme.
    static bool desktopHandlesAppstreamLinks();

private:
    // Not modal: nothing waits for it, and a second check raises the one that is open.
    QPointer<QMessageBox> dialog_;
};

// The QApplication as the shell sees it.
class QtApplication final : public shell::Application {
public:
    // Linux has no dock; a program without windows has no taskbar entry either.
    void becomeAccessory() override {}
    // Leaves every event loop, nested ones under a modal panel included.
    void terminate() override;
};

}  // namespace brindle::qt
