#include "BrindleApp/qt/QtDesktop.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "tests/fakes/TemporaryFolder.h"

namespace brindle::qt {
namespace {

// Runs `check` on the modal dialog once it is up, from inside its own event loop, then
// closes it if the check did not.
void whenModalIsUp(std::function<void(QWidget*)> check) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, check] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        poll->stop();
        poll->deleteLater();
        check(modal);
        if (modal->isVisible()) QMetaObject::invokeMethod(modal, "reject");
    });
    poll->start();
}

TEST(QtDesktop, AnAlertIsAModalWarningWithTheDescriptionBelowTheHeadline) {
    QtDesktop desktop;
    QString shown;
    whenModalIsUp([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->icon() == QMessageBox::Warning)
            shown = box->text() + "|" + box->informativeText();
    });
    desktop.showError("Brindle could not finish the backup.", "The disk is full & cannot take more.");
    EXPECT_EQ(shown, "Brindle could not finish the backup.|The disk is full & cannot take more.");
}

TEST(QtDesktop, TheChooserOffersFoldersFromTheRootAndACancelGivesNothing) {
    testing::TemporaryFolder temp;
    testing::makeFolder(temp / "Elsewhere");
    QtDesktop desktop;
    whenModalIsUp([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Choose Brindle Backup Folder");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_FALSE(dialog->testOption(QFileDialog::ReadOnly)) << "new folders can be made";
        EXPECT_EQ(dialog->directory().absolutePath().toStdString(), temp.path().string());
        dialog->setDirectory(QString::fromStdString((temp / "Elsewhere").string()));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    EXPECT_EQ(desktop.chooseFolder("Choose Brindle Backup Folder", temp.path()), temp / "Elsewhere");

    whenModalIsUp([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(desktop.chooseFolder("Choose Brindle Backup Folder", temp.path()), std::nullopt);
}

TEST(QtDesktop, AnUpdateCheckWithoutASoftwareCentreSaysHowBrindleIsUpdatedOnce) {
    if (QtDesktop::desktopHandlesAppstreamLinks())
        GTEST_SKIP() << "this desktop opens appstream: links, so the software centre would open instead";
    QtDesktop desktop;
    desktop.checkForUpdates();
    desktop.checkForUpdates();
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) boxes << box;
    ASSERT_EQ(boxes.size(), 1) << "a second check opened a second dialog";
    const QString text = boxes.front()->informativeText();
    EXPECT_TRUE(text.contains("package manager") && text.contains("no network requests")) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Installed version: " BRINDLE_VERSION))) << text.toStdString();
    boxes.front()->accept();
    QCoreApplication::processEvents();
}

}  // namespace
}  // namespace brindle::qt
