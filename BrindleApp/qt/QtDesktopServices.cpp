#include "BrindleApp/qt/QtDesktopServices.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "BrindleApp/desktop/AppId.h"

namespace brindle::qt {

void QtAlerts::showError(const std::string& messageText, const std::string& informativeText) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Brindle"), QString::fromStdString(messageText),
                    QMessageBox::Ok);
    box.setInformativeText(QString::fromStdString(informativeText));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::optional<Path> QtFolderChooser::chooseFolder(const shell::FolderChooserOptions& options) {
    // Only folders, one at a time; creating a new one is the dialog's own button.
    QFileDialog::Options flags = QFileDialog::ShowDirsOnly;
    if (!options.canCreateDirectories) flags |= QFileDialog::ReadOnly;
    const QString chosen = QFileDialog::getExistingDirectory(nullptr, QString::fromStdString(options.title),
                                                             QString::fromStdString(options.directory.string()), flags);
    if (chosen.isEmpty()) return std::nullopt;
    return Path(QDir::cleanPath(chosen).toStdString());
}

void QtFileBrowser::openFolder(const Path& folder) {
    // The success flag is not used: a failure to open is not reported.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

QString PackageManagerUpdater::explanation() {
    return QStringLiteral(
               "Brindle is updated by your system\u2019s package manager, together with the rest of your "
               "software; it makes no network requests of its own.\n\nInstalled version: %1")
        .arg(QStringLiteral(BRINDLE_VERSION));
}

bool PackageManagerUpdater::desktopHandlesAppstreamLinks() {
    // xdg-mime names the application registered for the scheme, or nothing.
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) return false;
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"),
                          QStringLiteral("x-scheme-handler/appstream")});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
}

void PackageManagerUpdater::checkForUpdates() {
    if (desktopHandlesAppstreamLinks() &&
        QDesktopServices::openUrl(QUrl(QStringLiteral("appstream:") +
                                       QString::fromUtf8(desktop::kAppId.data(),
                                                         static_cast<qsizetype>(desktop::kAppId.size())))))
        return;
    if (dialog_) {
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    dialog_ = new QMessageBox(QMessageBox::Information, QStringLiteral("Brindle"),
                              QStringLiteral("Updates come from your package manager"), QMessageBox::Ok);
    dialog_->setInformativeText(explanation());
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    dialog_->show();
}

void QtApplication::terminate() {
    QCoreApplication::exit(0);
}

}  // namespace brindle::qt
