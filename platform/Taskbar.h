#pragma once

#include <QString>

// Gives the process the identity under which the desktop groups its windows.
// Windows groups taskbar buttons by an explicit AppUserModelID; Linux desktops
// group by the window's class and .desktop file instead, so there is nothing
// to set at run time and this does nothing there. The call stays in start-up
// so the order of steps is the same everywhere.
void setTaskbarIdentity(const QString &appUserModelId);
