#include "ui/QtUserDialogs.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QListView>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include "app/ApplicationTitle.h"
#include "tests/GuiTestSupport.h"
#include "ui/DialogFilter.h"

namespace quillon {
namespace {

const QString kQuestion = "Sind sie sicher?";

TEST(DialogFilter, PairsBecomeQtNameFilters) {
    EXPECT_EQ(ToQtNameFilters("Update File (intel)|*.hex|All|*.*"),
              QStringList({"Update File (intel) (*.hex)", "All (*)"}));
    EXPECT_EQ(ToQtNameFilters("Config File *.cfg|*.cfg|All Files *.*|*.*"),
              QStringList({"Config File *.cfg (*.cfg)", "All Files *.* (*)"}));
    EXPECT_EQ(ToQtNameFilters("Images|*.png;*.bmp"), QStringList({"Images (*.png *.bmp)"}));
    EXPECT_EQ(ToQtNameFilters(""), QStringList());
    EXPECT_EQ(ToQtNameFilters("Lonely description"), QStringList());
    EXPECT_EQ(ToQtNameFilters("A|*.a|Dangling"), QStringList({"A (*.a)"}));
}

QAbstractButton* ButtonWithText(QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

// The dialog as a message box, its title and text checked; null (a failure noted) when it is
// none.
QMessageBox* CheckedMessageBox(QWidget* dialog, const QString& title, const QString& text) {
    auto* box = qobject_cast<QMessageBox*>(dialog);
    if (box == nullptr) {
        ADD_FAILURE() << "not a message box";
        return nullptr;
    }
    EXPECT_EQ(box->windowTitle(), title);
    EXPECT_EQ(box->text(), text);
    return box;
}

TEST(QtUserDialogs, ConfirmationBoxAndEscapeAnswersNo) {
    QtUserDialogs dialogs;
    bool checked = false;
    AnswerNextModal([&](QWidget* dialog) {
        QMessageBox* box = CheckedMessageBox(dialog, "Bestätigung", kQuestion);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->buttons().size(), 2);
        EXPECT_NE(ButtonWithText(box, "&Ja"), nullptr);
        EXPECT_NE(ButtonWithText(box, "&Nein"), nullptr);
        checked = true;
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_FALSE(dialogs.Confirm(nullptr, kQuestion));
    EXPECT_TRUE(checked);
}

TEST(QtUserDialogs, ConfirmationAnswers) {
    QtUserDialogs dialogs;
    for (const auto& [button, answer] : {std::pair{"&Ja", true}, std::pair{"&Nein", false}}) {
        AnswerNextModal([&, button = QString(button)](QWidget* dialog) {
            QAbstractButton* choice = ButtonWithText(qobject_cast<QMessageBox*>(dialog), button);
            ASSERT_NE(choice, nullptr);
            choice->click();
        });
        EXPECT_EQ(dialogs.Confirm(nullptr, kQuestion), answer) << button;
    }
    AnswerNextModal([](QWidget* dialog) { dialog->close(); });
    EXPECT_FALSE(dialogs.Confirm(nullptr, kQuestion));
}

TEST(QtUserDialogs, MessageBoxCarriesTheApplicationTitle) {
    QCoreApplication::setApplicationName(kApplicationTitle);
    QtUserDialogs dialogs;
    bool checked = false;
    AnswerNextModal([&](QWidget* dialog) {
        QMessageBox* box = CheckedMessageBox(dialog, "Quillon-Utility", "file not found: /x.cfg");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        checked = true;
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.ShowMessage(nullptr, "file not found: /x.cfg");
    EXPECT_TRUE(checked);
}

TEST(QtUserDialogs, SaveDialogTakesTheOptions) {
    QTemporaryDir folder;
    QtUserDialogs dialogs;
    IUserDialogs::FileDialogOptions options;
    options.title = "Save Config";
    options.filter = "Config Files *.cfg|*.cfg|All Files *.*|*.*";
    options.defaultSuffix = "cfg";
    options.fileName = folder.filePath("last.cfg");
    options.confirmOverwrite = true;
    bool checked = false;
    AnswerNextModal([&](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Save Config");
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->nameFilters(),
                  QStringList({"Config Files *.cfg (*.cfg)", "All Files *.* (*)"}));
        EXPECT_EQ(dialog->defaultSuffix(), "cfg");
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog->directory().absolutePath(), QDir(folder.path()).absolutePath());
        checked = true;
        dialog->reject();
    });
    EXPECT_EQ(dialogs.GetSaveFileName(nullptr, options), "");
    EXPECT_TRUE(checked);
}

TEST(QtUserDialogs, OpenDialogReturnsTheChosenFile) {
    QTemporaryDir folder;
    QFile file(folder.filePath("device.hex"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QFile withoutExtension(folder.filePath("README"));
    ASSERT_TRUE(withoutExtension.open(QIODevice::WriteOnly));
    withoutExtension.close();
    QtUserDialogs dialogs;
    IUserDialogs::FileDialogOptions options;
    options.filter = "Update File (intel)|*.hex|All|*.*";
    options.fileName = file.fileName();
    AnswerNextModal([&](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        // The filters read as given, and "All" lists the file without an extension too.
        auto* filters = dialog->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(filters, nullptr);
        ASSERT_EQ(filters->count(), 2);
        EXPECT_EQ(filters->itemText(0), "Update File (intel)");
        EXPECT_EQ(filters->itemText(1), "All");
        dialog->selectNameFilter(dialog->nameFilters().constLast());
        auto* files = dialog->findChild<QListView*>("listView");
        ASSERT_NE(files, nullptr);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return files->model()->rowCount(files->rootIndex()) == 2; }, 10000));
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(dialogs.GetOpenFileName(nullptr, options), QDir::toNativeSeparators(file.fileName()));
}

TEST(QtUserDialogs, WorkingFolderServesDialogsWithoutAFolderOfTheirOwn) {
    QTemporaryDir folder;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    QtUserDialogs dialogs;
    dialogs.UseWorkingFolderByDefault();
    QString opened;
    AnswerNextModal([&](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        ASSERT_NE(dialog, nullptr);
        opened = dialog->directory().absolutePath();
        dialog->reject();
    });
    EXPECT_EQ(dialogs.GetOpenFileName(nullptr, {}), "");
    QDir::setCurrent(before);
    EXPECT_EQ(opened, QDir(folder.path()).absolutePath());
}

}  // namespace
}  // namespace quillon
