#pragma once

#include <QIcon>

// The application's icon: the first of the bundled icon files that exists
// (":/icons/app-icon.ico", then ":/icons/logo.png", then ":/icons/home.svg"),
// made once per process. The start-up sets it on the application and the
// window sets it again on itself; both get the same implicitly shared icon,
// so its file is decoded once. A null icon when none of the files exists.
QIcon appIcon();
