#pragma once

#include <string>

#include "device/Adapter.h"

namespace quillon {

// The update file, read and checked in full before any adapter is touched; FileRefused with
// the reason when it is missing, unreadable or not sound.
AdapterResult<> CheckUpdateFile(const std::string& path);

}  // namespace quillon
