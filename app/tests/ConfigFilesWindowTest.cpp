#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include "app/CfgPathStore.h"
#include "app/tests/AdapterWindowFixture.h"
#include "tests/ConfigFileCases.h"

namespace quillon {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

#ifndef _WIN32
// Writes beyond `limit` bytes fail with EFBIG while it lives: a full disk as far as the file
// being written can tell, and one that stops root as well. Windows has no such limit.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t limit) : oldHandler_(::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit reduced = old_;
        reduced.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &reduced);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
    }

  private:
    sighandler_t oldHandler_;
    rlimit old_{};
};
#endif

class ConfigFilesWindowTest : public AdapterWindowTest {
  protected:
    void StartWithAdapter() {
        record = SampleRecord();
        adapter = PlugAdapter(&record);
        StartWindow();
    }
    void Load(const QString& path) {
        dialogs.OpenAnswer = path;
        PressMenuKey(Qt::Key_L);
    }
    void Save(const QString& path) {
        dialogs.SaveAnswer = path;
        PressMenuKey(Qt::Key_S);
    }

    QTemporaryDir folder;
    AdapterRecord record{};
    std::shared_ptr<emu::QuillonAdapter> adapter;
};

TEST_F(ConfigFilesWindowTest, SavedFileLoadsBackIntoTheControls) {
    WriteStoredCfgPath("/somewhere/last.cfg");
    StartWithAdapter();
    const QString path = folder.filePath("settings.cfg");
    Save(path);
    const auto& save = dialogs.SaveRequests.at(0);
    EXPECT_EQ(save.title, "Save Config");
    EXPECT_EQ(save.filter, "Config Files *.cfg|*.cfg|All Files *.*|*.*");
    EXPECT_EQ(save.defaultSuffix, "cfg");
    EXPECT_TRUE(save.confirmOverwrite);
    EXPECT_EQ(save.fileName, "/somewhere/last.cfg");
    record[3] = 16;  // Pavex mode keeps 19200
    EXPECT_EQ(ReadAll(path), QByteArray(reinterpret_cast<const char*>(record.data()), 64));
    EXPECT_EQ(form->ReadCfgPath(), "/somewhere/last.cfg");  // only a load remembers

    ClickCheckBox(Child<QCheckBox>(*form, "cbUsedAltKey"));
    ClickCheckBox(Child<QCheckBox>(*form, "cbPavex"));
    form->SharedReportBuffer()[1] = 9;  // another adapter version meanwhile
    Load(path);
    const auto& open = dialogs.OpenRequests.at(0);
    EXPECT_EQ(open.title, "");
    EXPECT_EQ(open.filter, "Config File *.cfg|*.cfg|All Files *.*|*.*");
    EXPECT_EQ(open.defaultSuffix, "cfg");
    EXPECT_EQ(open.fileName, "/somewhere/last.cfg");
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbUsedAltKey")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbPavex")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbClrStx")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(*form, "edCharDelay")->value(), 150);
    EXPECT_EQ(Child<QLineEdit>(*form, "edVersion")->text(), "009");
    EXPECT_EQ(form->StatusText(), "modified");
    EXPECT_TRUE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    EXPECT_EQ(form->ReadCfgPath(), QDir::toNativeSeparators(path));
    EXPECT_TRUE(dialogs.Messages.empty());
}

TEST_F(ConfigFilesWindowTest, ShortFileReplacesOnlyTheBytesItHolds) {
    StartWithAdapter();
    const QString path = folder.filePath("short.cfg");
    WriteAll(path, QByteArray("\x03\x63\x00\x02\x01\x02\x00\x00\x00\x00", 10));
    const ReportBuffer before = form->SharedReportBuffer();
    Load(path);
    EXPECT_EQ(form->SharedReportBuffer()[1], before[1]);
    EXPECT_EQ(form->SharedReportBuffer()[3], 2);
    EXPECT_TRUE(std::equal(before.begin() + 10, before.begin() + 64,
                           form->SharedReportBuffer().begin() + 10));
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->currentText(), "2400");
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbPavex")->isChecked());
}

TEST_F(ConfigFilesWindowTest, FileOfAnotherReportChangesNoControlButApplySendsReportThree) {
    StartWithAdapter();
    const QString path = folder.filePath("other.cfg");
    QByteArray bytes(64, '\0');
    bytes[0] = 5;
    bytes[13] = 0x77;
    WriteAll(path, bytes);
    Load(path);
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbUsedAltKey")->isChecked());
    EXPECT_EQ(form->StatusText(), "modified");

    QTest::mouseClick(Child<QPushButton>(*form, "bnApply"), Qt::LeftButton);
    const std::vector<uint8_t> sent = adapter->Log().back().Bytes;
    EXPECT_EQ(sent[0], 3);
    EXPECT_EQ(sent[2], 1);
    EXPECT_EQ(sent[13], 0x77);
}

// The window loads what the file holds as the page always did (a short file replaces only its
// bytes), but says when the controls cannot show a value, since Apply writes what they show.
TEST_F(ConfigFilesWindowTest, ValuesThePageCannotShowAreNamedInTheStatusLine) {
    StartWithAdapter();
    for (const test::ConfigFileCase& file : test::ConfigFileCases()) {
        SCOPED_TRACE(file.Name);
        const QString path = folder.filePath(QString::fromStdString(file.Name));
        WriteAll(path, QByteArray(reinterpret_cast<const char*>(file.Bytes.data()),
                                  static_cast<qsizetype>(file.Bytes.size())));
        Load(path);
        const bool unshowable = file.Refusal.find("holds") != std::string::npos;
        EXPECT_EQ(form->StatusText().contains("not shown as in the file: " +
                                              QString::fromStdString(file.Refusal)),
                  unshowable)
            << form->StatusText().toStdString();
        EXPECT_TRUE(dialogs.Messages.empty());
    }
}

TEST_F(ConfigFilesWindowTest, LongPathIsShortenedInTheStatusLine) {
    QString path = folder.path() + "/";
    path += QString(75 - path.size() - 4, 'p') + ".cfg";
    QByteArray bytes(64, '\0');
    bytes[0] = 3;
    bytes[3] = 16;
    WriteAll(path, bytes);
    PlugAdapter();
    StartWindow({path});
    EXPECT_EQ(form->StatusText(),
              "Config-File settings (" + path.left(23) + " ... " + path.right(31) + ")");
    EXPECT_EQ(TSettingsPage::ShortenPathForStatus(QString(60, 'x')), QString(60, 'x'));
}

#ifndef _WIN32
TEST_F(ConfigFilesWindowTest, FailedSaveLeavesTheOldFileIntact) {
    StartWithAdapter();
    const QString path = folder.filePath("kept.cfg");
    const QByteArray old(64, '\x42');
    WriteAll(path, old);
    {
        const FileSizeLimit diskAlmostFull(10);
        Save(path);
    }
    EXPECT_EQ(dialogs.Messages, std::vector<QString>{"unable to create file: " + path});
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    Save(folder.filePath("nowhere/new.cfg"));
    EXPECT_EQ(dialogs.Messages.back(),
              "unable to create file: " + folder.filePath("nowhere/new.cfg"));
}
#endif

TEST_F(ConfigFilesWindowTest, MissingFileIsReportedAndChangesNothing) {
    StartWithAdapter();
    const ReportBuffer before = form->SharedReportBuffer();
    const QString path = folder.filePath("absent.cfg");
    Load(path);
    EXPECT_EQ(dialogs.Messages, std::vector<QString>{"file not found: " + path});
    EXPECT_EQ(form->SharedReportBuffer(), before);
    EXPECT_EQ(form->ReadCfgPath(), "");
}

}  // namespace
}  // namespace quillon
