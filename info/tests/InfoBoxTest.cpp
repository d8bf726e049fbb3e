#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "info/ui/InfoBox.h"
#include "tests/TempDirectory.h"

namespace quillon {
namespace {

using testing::TempDir;

QString WriteText(const TempDir& dir, const std::string& name, const std::string& text) {
    return QString::fromStdString(dir.WriteBytes(name, {text.begin(), text.end()}, false));
}

TInfoBoxSources Sources(const QString& program, const QStringList& notes = {}) {
    return {program, notes};
}

TInfoBoxSources OwnProgram(const QStringList& notes = {}) {
    return Sources(QCoreApplication::applicationFilePath(), notes);
}

QString Text(QLabel* label) {
    return label->text();
}

TEST(InfoBox, ShowsTheProgramsOwnVersionData) {
    TInfoBox box(nullptr, nullptr, OwnProgram());
    EXPECT_EQ(box.windowTitle(), "Info");
    EXPECT_EQ(Text(box.lbProductName), "Quillon-Utility");
    EXPECT_EQ(Text(box.lbVersion), QString::fromStdString(ShortVersion(QUILLON_PROJECT_VERSION)));
    EXPECT_TRUE(Text(box.lbCopyright).contains("Morvane"));
    EXPECT_FALSE(Text(box.lbComments).isEmpty());
    EXPECT_EQ(box.lbComments->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
    EXPECT_TRUE(box.lbTrademark->wordWrap());
    EXPECT_FALSE(box.ProgramVersion().TypeName.empty());  // the MIME database knows programs
}

TEST(InfoBox, AnotherBuildShowsItsOwnVersion) {
#ifdef _WIN32
    // Beside this program: the build machine's path of it names no drive.
    const QString sample =
        QCoreApplication::applicationDirPath() + "/" + QFileInfo(QUILLON_SAMPLE_PROGRAM).fileName();
#else
    const QString sample = QUILLON_SAMPLE_PROGRAM;
#endif
    TInfoBox box(nullptr, nullptr, Sources(sample));
    EXPECT_EQ(Text(box.lbProductName), "Quillon-Utility Sample");
    EXPECT_EQ(Text(box.lbVersion), "2.34");
}

TEST(InfoBox, FileWithoutVersionDataEmptiesTheLabels) {
    TempDir dir;
    TInfoBox box(nullptr, nullptr, Sources(WriteText(dir, "plain.txt", "no version here\n")));
    for (QLabel* label :
         {box.lbProductName, box.lbVersion, box.lbCopyright, box.lbComments, box.lbTrademark}) {
        EXPECT_EQ(Text(label), "") << label->objectName().toStdString();
    }
}

TEST(InfoBox, IsAFixedDialogKeptOnTopWithoutTitleBarButtons) {
    TInfoBox box(nullptr, nullptr, OwnProgram());
    const Qt::WindowFlags flags = box.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowContextHelpButtonHint));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_TRUE(box.OKButton->isDefault());
    EXPECT_EQ(box.OKButton->text(), "OK");
}

TEST(InfoBox, AdapterLabelsShowADashWithoutAnAdapter) {
    TInfoBox box(nullptr, nullptr, OwnProgram());
    box.show();
    for (QLabel* label : {box.VendorName, box.ProductName, box.Vid, box.Pid, box.Vers}) {
        EXPECT_EQ(Text(label), "-") << label->objectName().toStdString();
    }
}

TEST(InfoBox, RightPressOnTheVersionShowsTheNotesOverThePanel) {
    TempDir dir;
    const QString notes = WriteText(dir, "Release.txt", "Version 1.0.1.0\r\nFirst release.\r\n");
    TInfoBox box(nullptr, nullptr, OwnProgram({notes}));
    box.show();
    EXPECT_FALSE(box.VersionsInfo->isVisible());

    QTest::mousePress(box.lbVersion, Qt::LeftButton);
    QTest::mousePress(box.lbVersion, Qt::MiddleButton);
    QTest::mousePress(box.lbVersion, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_FALSE(box.VersionsInfo->isVisible());
    QTest::mousePress(box.lbProductName, Qt::RightButton);  // only the version label reacts
    EXPECT_FALSE(box.VersionsInfo->isVisible());

    QTest::mousePress(box.lbVersion, Qt::RightButton);
    EXPECT_TRUE(box.VersionsInfo->isVisible());
    EXPECT_EQ(box.VersionsInfo->geometry(), box.Panel1->rect());
    EXPECT_EQ(box.VersionsInfo->toPlainText(), "Version 1.0.1.0\nFirst release.\n");
    EXPECT_TRUE(box.VersionsInfo->isReadOnly());
    EXPECT_EQ(box.VersionsInfo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    // A later showing starts with the notes hidden again.
    box.hide();
    box.show();
    EXPECT_FALSE(box.VersionsInfo->isVisible());
}

TEST(InfoBox, MissingReleaseNotesLeaveTheNotesEmpty) {
    TempDir dir;
    const QString absent = QString::fromStdString((dir.Path() / "Release.txt").string());
    TInfoBox box(nullptr, nullptr, OwnProgram({absent, absent + ".too"}));
    box.show();
    EXPECT_EQ(box.VersionsInfo->toPlainText(), "");
    QTest::mousePress(box.lbVersion, Qt::RightButton);
    EXPECT_TRUE(box.VersionsInfo->isVisible());  // an empty area, as there is nothing to show
}

TEST(InfoBox, ReleaseNotesComeFromTheFirstPlaceThatHasThem) {
    TempDir dir;
    const QString absent = QString::fromStdString((dir.Path() / "absent.txt").string());
    // A named pipe is no place for notes: reading it would block the window. (Windows keeps
    // its pipes out of the file system: there the name is merely absent.)
    const std::string pipe = (dir.Path() / "Release.txt").string();
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
#endif
    const QString installed = WriteText(dir, "installed.txt", "installed copy");
    const QString other = WriteText(dir, "other.txt", "not this one");
    TInfoBox box(nullptr, nullptr,
                 OwnProgram({absent, QString::fromStdString(pipe), installed, other}));
    EXPECT_EQ(box.VersionsInfo->toPlainText(), "installed copy");
}

TEST(InfoBox, DefaultNotesAreTheWorkingDirectorysThenTheInstalledCopy) {
    TempDir dir;
    WriteText(dir, "Release.txt", "from the working directory");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.Path().string())));
    const TInfoBoxSources sources = TInfoBoxSources::Default();
    TInfoBox box(nullptr, nullptr, sources);
    QDir::setCurrent(before);

    EXPECT_EQ(box.VersionsInfo->toPlainText(), "from the working directory");
    EXPECT_EQ(sources.ProgramPath, QCoreApplication::applicationFilePath());
    ASSERT_EQ(sources.ReleaseNotesPaths.size(), 3);
    EXPECT_TRUE(sources.ReleaseNotesPaths[1].endsWith("/../share/quillon-utility/Release.txt"));
#ifdef _WIN32
    EXPECT_EQ(sources.ReleaseNotesPaths[2],
              QCoreApplication::applicationDirPath() + "/Release.txt");
#else
    EXPECT_TRUE(sources.ReleaseNotesPaths[2].endsWith("/quillon-utility/Release.txt"));
    EXPECT_TRUE(QDir::isAbsolutePath(sources.ReleaseNotesPaths[2]));
#endif
}

TEST(InfoBox, OkClosesTheWindowAcceptingIt) {
    TInfoBox box(nullptr, nullptr, OwnProgram());
    box.show();
    QTest::mouseClick(box.OKButton, Qt::LeftButton);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);

    box.setResult(QDialog::Rejected);
    box.show();
    box.OKButton->setFocus();
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace quillon
