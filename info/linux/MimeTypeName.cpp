#include "info/MimeTypeName.h"

#include <QMimeDatabase>

namespace quillon {

std::string MimeTypeName(const std::string& path) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(path));
    return type.isValid() ? type.comment().toStdString() : std::string();
}

}  // namespace quillon
