#pragma once
// What the update flow and the version gate show on the window's busy
// overlay. The window's implementation covers the whole window, raises the
// overlay and shows it on every call; the flows never fade it.

#include <QString>

class BusyOverlay
{
public:
    virtual ~BusyOverlay() = default;
    virtual void showMessage(const QString &title) = 0;
    virtual void showProgress(const QString &title, int percent, qint64 receivedBytes, qint64 totalBytes) = 0;
};
