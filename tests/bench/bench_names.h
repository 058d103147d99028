// Names shared by the benchmark's programs: the driver finds the baselines'
// windows by them.
#pragma once

inline constexpr char kBareWindowClass[] = "PewBenchBareWindow";
inline constexpr char kBareWindowTitle[] = "Bare baseline";
inline constexpr char kBareMessageCaption[] = "Bare baseline message";
