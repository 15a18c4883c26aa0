#pragma once

#include "platform/InstallerLauncher.h"

#include <QFile>
#include <QStringList>

// Records every installer the update flow asks to start, runs nothing, and
// answers with the result a test sets.
class FakeInstallerLauncher : public InstallerLauncher
{
public:
    bool result = true;
    QStringList started;     // every path asked for, in order
    QByteArray bytesAtStart; // the file's contents when the last start was asked for

    bool start(const QString &path) override
    {
        started.append(path);
        QFile file(path);
        bytesAtStart = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        return result;
    }
};
