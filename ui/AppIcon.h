#pragma once

#include <QIcon>

namespace quillon {

// The program's icon, painted in code (the same drawing as the desktop icon's SVG), so the
// windows have it without an image plugin or a file to find at run time.
QIcon MakeApplicationIcon();

}  // namespace quillon
