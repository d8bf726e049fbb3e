#include <QMimeDatabase>

#include "info/FileTypeName.h"

namespace quillon {

std::string FileTypeName(const std::string& path) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(path));
    return type.isValid() ? type.comment().toStdString() : std::string();
}

}  // namespace quillon
