#include <gtest/gtest.h>
#include <QSettings>
#include <QVariant>

#include "app/CfgPathStore.h"

namespace quillon {
namespace {

const QString kUserKey = "HKEY_CURRENT_USER\\SOFTWARE\\Morvane\\QuillonUtility";
const QString kMachineKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\QuillonUtility";

// On Windows the store is the registry itself, which the tests cannot point elsewhere: each
// value found there is put back when the test ends.
class SavedRegistryValue {
  public:
    explicit SavedRegistryValue(const QString& key) : key_(key) {
        QSettings store(key_, QSettings::NativeFormat);
        saved_ = store.value(kCfgPathValueName);
        store.remove(kCfgPathValueName);
    }
    ~SavedRegistryValue() {
        QSettings store(key_, QSettings::NativeFormat);
        if (saved_.isValid()) {
            store.setValue(kCfgPathValueName, saved_);
        } else {
            store.remove(kCfgPathValueName);
        }
    }

  private:
    QString key_;
    QVariant saved_;
};

TEST(CfgPathRegistry, UsersKeyIsWrittenAndTheMachinesServesUntilThen) {
    SavedRegistryValue user(kUserKey);
    SavedRegistryValue machine(kMachineKey);
    EXPECT_EQ(ReadStoredCfgPath(), "");

    QSettings machineStore(kMachineKey, QSettings::NativeFormat);
    machineStore.setValue(kCfgPathValueName, "C:\\Kasse\\machine.cfg");
    machineStore.sync();
    if (machineStore.status() != QSettings::NoError) {
        GTEST_SKIP() << "the machine key is not writable here";
    }
    EXPECT_EQ(ReadStoredCfgPath(), "C:\\Kasse\\machine.cfg");

    const QString path = "C:\\Users\\anna\\Quillon Configs\\Kasse \u00e4.cfg";
    WriteStoredCfgPath(path);
    EXPECT_EQ(ReadStoredCfgPath(), path);
    EXPECT_EQ(QSettings(kUserKey, QSettings::NativeFormat).value(kCfgPathValueName), path);
    EXPECT_EQ(QSettings(kMachineKey, QSettings::NativeFormat).value(kCfgPathValueName),
              "C:\\Kasse\\machine.cfg");
}

}  // namespace
}  // namespace quillon
