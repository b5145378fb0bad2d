// The tray menu's "Start with the desktop" switch: checked while the desktop
// starts the program at login for this user, toggled by writing or removing
// the user's own autostart entry (platform/autostart.h).
#pragma once

class QMenu;
class QAction;

namespace zr417 {

QAction* AddAutostartItem(QMenu& menu, int language);

}  // namespace zr417
