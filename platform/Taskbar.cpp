#include "platform/Taskbar.h"

void setTaskbarIdentity(const QString &appUserModelId)
{
    Q_UNUSED(appUserModelId);
}
