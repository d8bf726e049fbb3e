#include "app/CfgPathStore.h"

#include <QSettings>

namespace quillon {

namespace {

QSettings::Format StoreFormat = QSettings::NativeFormat;

// Fallbacks would let a value of the whole organisation stand in for ours; the one fallback
// wanted, from the user's store to the machine's, is made by hand.
QString ReadFrom(QSettings::Scope scope) {
    QSettings store(StoreFormat, scope, kCfgPathOrganisation, kCfgPathApplication);
    store.setFallbacksEnabled(false);
    if (store.status() != QSettings::NoError) {
        return {};
    }
    return store.value(kCfgPathValueName).toString();
}

}  // namespace

QString ReadStoredCfgPath() {
    const QString users = ReadFrom(QSettings::UserScope);
    return users.isEmpty() ? ReadFrom(QSettings::SystemScope) : users;
}

void WriteStoredCfgPath(const QString& path) {
    QSettings store(StoreFormat, QSettings::UserScope, kCfgPathOrganisation, kCfgPathApplication);
    store.setFallbacksEnabled(false);
    if (!store.isWritable()) {
        return;
    }
    store.setValue(kCfgPathValueName, path);
    store.sync();
}

void SetCfgPathStoreFormat(QSettings::Format format) {
    StoreFormat = format;
}

}  // namespace quillon
