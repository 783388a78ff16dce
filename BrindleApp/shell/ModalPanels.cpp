#include "BrindleApp/shell/AppDelegate.h"

namespace brindle::shell {

// Qt keeps firing timers under a modal panel, where the desktop this design came from
// holds them. Without this, an unattended machine whose backups keep failing would
// stack a new failure alert on every firing; instead, firings under a panel collapse
// into one run once the last panel is closed.
void AppDelegate::scheduledFiring() {
    if (openModals_ > 0) {
        scheduledRunDeferred_ = true;
        return;
    }
    runBackup();
}

void AppDelegate::enterModal() {
    ++openModals_;
}

void AppDelegate::leaveModal() {
    if (--openModals_ > 0 || !scheduledRunDeferred_) return;
    scheduledRunDeferred_ = false;
    // Posted rather than run here, so that the command that opened the panel finishes
    // first (a newly chosen folder is saved and its own run started); if that opens
    // another panel, the firing waits again.
    platform_.eventLoop.post([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->scheduledFiring();
    });
}

void AppDelegate::showError(const std::string& messageText, const ShellError& error) {
    // A copy: the panel's event loop may start a run that clears lastError.
    const std::string informativeText = error.localizedDescription;
    enterModal();
    try {
        platform_.alerts.showError(messageText, informativeText);
    } catch (...) {
        leaveModal();
        throw;
    }
    leaveModal();
}

std::optional<Path> AppDelegate::runFolderChooser(const FolderChooserOptions& options) {
    enterModal();
    std::optional<Path> chosen;
    try {
        chosen = platform_.folderChooser.chooseFolder(options);
    } catch (...) {
        leaveModal();
        throw;
    }
    leaveModal();
    return chosen;
}

}  // namespace brindle::shell
