#pragma once

#include <QString>
#include <QStringList>

namespace quillon {

// "Description|*.ext|Description|*.*" as Qt's name filters ("Description (*.ext)", ...).
// Several patterns of one entry may be separated by ';'. A description without a pattern
// after it is dropped. The pattern "*.*" becomes "*", every file, also one without a dot.
QStringList ToQtNameFilters(const QString& filter);

}  // namespace quillon
