#pragma once

namespace quillon {

// The application title: the title of the program's message boxes.
inline constexpr char kApplicationTitle[] = "Quillon-Utility";

}  // namespace quillon
