#include "BrindleApp/qt/QtDesktop.h"

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

namespace {

// The text of the update information dialog.
QString updateExplanation() {
    return QStringLiteral(
               "Brindle is updated by your system\u2019s package manager, together with the rest of your "
               "software; it makes no network requests of its own.\n\nInstalled version: %1")
        .arg(QStringLiteral(BRINDLE_VERSION));
}

}  // namespace

void QtDesktop::showError(const std::string& messageText, const std::string& informativeText) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Brindle"), QString::fromStdString(messageText),
                    QMessageBox::Ok);
    box.setInformativeText(QString::fromStdString(informativeText));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::optional<Path> QtDesktop::chooseFolder(const std::string& title, const Path& startingFolder) {
    const QString chosen = QFileDialog::getExistingDirectory(nullptr, QString::fromStdString(title),
                                                             QString::fromStdString(startingFolder.string()),
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return std::nullopt;
    return Path(QDir::cleanPath(chosen).toStdString());
}

void QtDesktop::openFolder(const Path& folder) {
    // The success flag is not used: a failure to open is not reported.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

bool QtDesktop::desktopHandlesAppstreamLinks() {
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

void QtDesktop::checkForUpdates() {
    if (desktopHandlesAppstreamLinks() &&
        QDesktopServices::openUrl(QUrl(QStringLiteral("appstream:") +
                                       QString::fromUtf8(desktop::kAppId.data(),
                                                         static_cast<qsizetype>(desktop::kAppId.size())))))
        return;
    if (updateDialog_) {
        updateDialog_->raise();
        updateDialog_->activateWindow();
        return;
    }
    updateDialog_ = new QMessageBox(QMessageBox::Information, QStringLiteral("Brindle"),
                              QStringLiteral("Updates come from your package manager"), QMessageBox::Ok);
    updateDialog_->setInformativeText(updateExplanation());
    updateDialog_->setAttribute(Qt::WA_DeleteOnClose);
    updateDialog_->show();
}

void QtDesktop::terminate() {
    QCoreApplication::exit(0);
}

}  // namespace brindle::qt
