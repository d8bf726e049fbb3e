#include "ui/DialogFilter.h"

namespace quillon {

QStringList ToQtNameFilters(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            // "*.*" means every file where it comes from; here it would hide the many files
            // without a dot in their names.
            if (pattern == "*.*") {
                pattern = "*";
            }
        }
        patterns.removeAll(QString());
        if (patterns.isEmpty()) {
            continue;
        }
        filters << parts[i].trimmed() + " (" + patterns.join(' ') + ")";
    }
    return filters;
}

}  // namespace quillon
