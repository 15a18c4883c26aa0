#pragma once
// Starts a downloaded installer as a process of its own, detached from the
// client, which quits right after. The update flow gets a launcher through
// its constructor so tests can record the start instead of running anything.

#include <QString>

class InstallerLauncher
{
public:
    virtual ~InstallerLauncher() = default;

    // Starts the file with no arguments and no working folder. False when it
    // did not start (missing, not a regular file, not executable, exec failed).
    virtual bool start(const QString &path) = 0;

    // The launcher of this system. On Linux the file is made executable for
    // its owner only and started with QProcess::startDetached.
    static InstallerLauncher &system();
};
