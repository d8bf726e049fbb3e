#include "app/CfgPathStore.h"

#include <QSettings>

namespace quillon {

QString ReadStoredCfgPath() {
    QSettings store(QSettings::NativeFormat, QSettings::SystemScope, CfgPathOrganisation,
                    CfgPathApplication);
    // Fallbacks would let a value of the whole organisation stand in for ours.
    store.setFallbacksEnabled(false);
    if (store.status() != QSettings::NoError) {
        return {};
    }
    return store.value(CfgPathValueName).toString();
}

void WriteStoredCfgPath(const QString& path) {
    QSettings store(QSettings::NativeFormat, QSettings::SystemScope, CfgPathOrganisation,
                    CfgPathApplication);
    store.setFallbacksEnabled(false);
    if (!store.isWritable()) {
        return;
    }
    store.setValue(CfgPathValueName, path);
    store.sync();
}

}  // namespace quillon
