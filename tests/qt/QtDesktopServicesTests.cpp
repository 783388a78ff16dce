#include "BrindleApp/qt/QtDesktopServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "tests/fakes/TemporaryFolder.h"

namespace brindle::qt {
namespace {

// Runs `check` on the modal dialog once it is up, from inside its own event loop.
void whenModalIsUp(std::function<void(QWidget*)> check) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, check] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            check(modal);
            // A failed check must not leave the test waiting on the dialog.
            if (modal->isVisible()) QMetaObject::invokeMethod(modal, "reject");
        }
    });
    poll->start();
}

TEST(QtAlerts, AModalWarningWithTheDescriptionAsInformativeText) {
    QtAlerts alerts;
    bool seen = false;
    whenModalIsUp([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        seen = true;
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->text(), "Brindle could not finish the backup.");
        EXPECT_EQ(box->informativeText(), "The disk is full & cannot take more.");
        EXPECT_TRUE(box->isModal());
        box->accept();
    });
    alerts.showError("Brindle could not finish the backup.", "The disk is full & cannot take more.");
    EXPECT_TRUE(seen);
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed()) << "closing an alert would end the program";
}

class QtFolderChooserTest : public ::testing::Test {
protected:
    testing::TemporaryFolder temp;
    shell::FolderChooserOptions options() {
        shell::FolderChooserOptions result;
        result.title = "Choose Brindle Backup Folder";
        result.directory = temp.path();
        return result;
    }
};

TEST_F(QtFolderChooserTest, IsAFolderOnlyDialogTitledAndStartingAtTheRoot) {
    testing::makeFolder(temp / "Elsewhere");
    QtFolderChooser chooser;
    bool seen = false;
    whenModalIsUp([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->windowTitle(), "Choose Brindle Backup Folder");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
        EXPECT_FALSE(dialog->testOption(QFileDialog::ReadOnly)) << "new folders can be made";
        EXPECT_EQ(dialog->directory().absolutePath().toStdString(), temp.path().string());
        dialog->setDirectory(QString::fromStdString((temp / "Elsewhere").string()));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const auto chosen = chooser.chooseFolder(options());
    EXPECT_TRUE(seen);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, temp / "Elsewhere");
}

TEST_F(QtFolderChooserTest, CancellingGivesNothing) {
    QtFolderChooser chooser;
    whenModalIsUp([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(chooser.chooseFolder(options()));
}

TEST(PackageManagerUpdater, SaysHowBrindleIsUpdatedAndWhichVersionIsInstalled) {
    const QString text = PackageManagerUpdater::explanation();
    EXPECT_TRUE(text.contains("package manager")) << text.toStdString();
    EXPECT_TRUE(text.contains("no network requests")) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Installed version: " BRINDLE_VERSION))) << text.toStdString();
}

TEST(PackageManagerUpdater, WithoutASoftwareCentreShowsOneInformationDialog) {
    if (PackageManagerUpdater::desktopHandlesAppstreamLinks())
        GTEST_SKIP() << "this desktop opens appstream: links, so the software centre would open instead";
    auto openBoxes = [] {
        QList<QMessageBox*> boxes;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) boxes << box;
        return boxes;
    };
    PackageManagerUpdater updater;
    updater.checkForUpdates();
    auto boxes = openBoxes();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.front()->icon(), QMessageBox::Information);
    EXPECT_EQ(boxes.front()->informativeText(), PackageManagerUpdater::explanation());
    updater.checkForUpdates();
    EXPECT_EQ(openBoxes().size(), 1) << "a second check opened a second dialog";
    boxes.front()->accept();
    QCoreApplication::processEvents();
}

}  // namespace
}  // namespace brindle::qt
