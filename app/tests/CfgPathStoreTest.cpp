#include "app/CfgPathStore.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include "app/MainForm.h"
#include "config/ui/SettingsPage.h"
#include "tests/FakeUserDialogs.h"
#include "tests/GuiTestSupport.h"

namespace quillon {
namespace {

// Points the user's store at a fresh temporary folder and the machine's at a folder inside
// it; the real ones are never touched.
class CfgPathStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        UseStoreAt(folder.path());
    }

    static void UseStoreAt(const QString& path) {
        for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(format, QSettings::UserScope, path);
            QSettings::setPath(format, QSettings::SystemScope, path + "/machine");
        }
    }

    QString StoreFile() const { return folder.filePath("Morvane/QuillonUtility.conf"); }
    QString MachineStoreFile() const {
        return folder.filePath("machine/Morvane/QuillonUtility.conf");
    }

    QTemporaryDir folder;
};

TEST_F(CfgPathStoreTest, MissingStoreReadsAsEmptyText) {
    EXPECT_EQ(ReadStoredCfgPath(), "");
    EXPECT_FALSE(QFile::exists(StoreFile()));  // reading creates nothing
}

TEST_F(CfgPathStoreTest, WrittenPathReadsBack) {
    const QString path = "/home/anna/Quillon Configs/Kasse ä.cfg";
    WriteStoredCfgPath(path);
    EXPECT_EQ(ReadStoredCfgPath(), path);
    EXPECT_TRUE(QFile::exists(StoreFile()));

    WriteStoredCfgPath("/tmp/other.cfg");
    EXPECT_EQ(ReadStoredCfgPath(), "/tmp/other.cfg");

    // The main window's operations use the same store.
    FakeUserDialogs dialogs;
    TMainForm form(dialogs, {});
    EXPECT_EQ(form.ReadCfgPath(), "/tmp/other.cfg");
    form.WriteCfgPath("/tmp/third.cfg");
    EXPECT_EQ(ReadStoredCfgPath(), "/tmp/third.cfg");
}

TEST_F(CfgPathStoreTest, UsersOwnStoreIsWrittenAndTheMachinesServesUntilThen) {
    ASSERT_TRUE(QDir().mkpath(folder.filePath("machine/Morvane")));
    QFile machine(MachineStoreFile());
    ASSERT_TRUE(machine.open(QIODevice::WriteOnly));
    machine.write("[General]\nCfgPath=/srv/machine.cfg\n");
    machine.close();
    EXPECT_EQ(ReadStoredCfgPath(), "/srv/machine.cfg");

    // A file named relative to the working folder is remembered with its full path.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    QFile file(folder.filePath("relative.cfg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(64, '\3'));
    file.close();
    FakeUserDialogs dialogs;
    TMainForm form(dialogs, {});
    EXPECT_TRUE(Child<TSettingsPage>(form, "tsMain")->LoadConfigFile("relative.cfg"));
    QDir::setCurrent(before);

    EXPECT_EQ(ReadStoredCfgPath(), QFileInfo(file).absoluteFilePath());
    EXPECT_TRUE(QFile::exists(StoreFile()));
    ASSERT_TRUE(machine.open(QIODevice::ReadOnly));
    EXPECT_EQ(machine.readAll(), "[General]\nCfgPath=/srv/machine.cfg\n");
}

TEST_F(CfgPathStoreTest, ValueOfTheWholeOrganisationDoesNotStandIn) {
    QFile organisationWide(folder.filePath("Morvane.conf"));
    ASSERT_TRUE(organisationWide.open(QIODevice::WriteOnly));
    organisationWide.write("[General]\nCfgPath=/elsewhere.cfg\n");
    organisationWide.close();
    EXPECT_EQ(ReadStoredCfgPath(), "");
}

TEST_F(CfgPathStoreTest, UnreadableStoreReadsAsEmptyText) {
    ASSERT_TRUE(QDir().mkpath(StoreFile()));  // a folder where the store's file belongs
    EXPECT_EQ(ReadStoredCfgPath(), "");
}

TEST_F(CfgPathStoreTest, UnwritableStoreIsLeftAloneQuietly) {
    // A plain file where the store's folder belongs: nobody can write below it, root neither.
    const QString blocked = folder.filePath("blocked");
    QFile blocker(blocked);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("x");
    blocker.close();
    UseStoreAt(blocked);

    WriteStoredCfgPath("/tmp/a.cfg");
    EXPECT_EQ(ReadStoredCfgPath(), "");
    ASSERT_TRUE(blocker.open(QIODevice::ReadOnly));
    EXPECT_EQ(blocker.readAll(), "x");
}

TEST_F(CfgPathStoreTest, ReadOnlyStoreKeepsItsValue) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "file permissions do not bind root";
    }
    WriteStoredCfgPath("/tmp/kept.cfg");
    const QString storeFolder = folder.filePath("Morvane");
    ASSERT_TRUE(QFile::setPermissions(StoreFile(), QFile::ReadOwner));
    ASSERT_TRUE(QFile::setPermissions(storeFolder, QFile::ReadOwner | QFile::ExeOwner));
    WriteStoredCfgPath("/tmp/new.cfg");
    EXPECT_EQ(ReadStoredCfgPath(), "/tmp/kept.cfg");
    QFile::setPermissions(storeFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
}  // namespace quillon
