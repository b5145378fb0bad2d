// The program's icons by resource number (155 the window and tray icon, 128
// the about box's).
#pragma once

#include <QIcon>

namespace zr417 {

constexpr int kIconAbout = 128;
constexpr int kIconMain = 155;

QIcon ProgramIcon(int id);

}  // namespace zr417
