#include "BrindleApp/qt/QtDesktop.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "tests/fakes/TemporaryFolder.h"

namespace brindle::qt {
namespace {

// Runs `check` on the modal dialog once it is up, from inside its own event loop, then
// closes it if the check did not.
void whenModalIsUp(const std::function<void(QWidget*)>& check) {
    QTimer::singleShot(20, [check] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return whenModalIsUp(check);
        check(modal);
        if (modal->isVisible()) QMetaObject::invokeMethod(modal, "reject");
    });
}

TEST(QtDesktop, AnAlertIsAPlainTextWarningAndTheChooserOffersFoldersFromTheRootAndACancelGivesNothing) {
    QtDesktop desktop;
    QStringList shown;
    whenModalIsUp([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box && box->icon() == QMessageBox::Warning) shown << box->text() << box->informativeText();
        // A path may hold anything that looks like markup.
        for (const QLabel* label : modal->findChildren<QLabel*>())
            if (label->text().contains("<b>")) shown << QString::number(label->textFormat());
    });
    desktop.showError("Brindle could not finish the backup.", "Could not write /home/<b>me</b>: the disk is full.");
    EXPECT_EQ(shown, (QStringList {"Brindle could not finish the backup.", "Could not write /home/<b>me</b>: the disk is full.",
                                   QString::number(Qt::PlainText)}));

    testing::TemporaryFolder temp;
    testing::makeFolder(temp / "Elsewhere");
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

    whenModalIsUp([](QWidget*) {});
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
    EXPECT_TRUE(text.contains("package manager") && text.contains("Installed version: " BRINDLE_VERSION)) << text.toStdString();
    boxes.front()->accept();
    QCoreApplication::processEvents();  // which deletes the closed dialog
}

}  // namespace
}  // namespace brindle::qt
