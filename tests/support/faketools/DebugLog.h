#pragma once
// Collects the debug-log lines that begin with a tag ("[MTU]", "[Verify]")
// while it lives, in the order they were written, and passes every message
// on to the handler that was installed before (QtTest's own).

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class DebugLog
{
public:
    // With `warnings`, warning lines with the tag are collected too.
    explicit DebugLog(const QString &tag, bool warnings = false)
    {
        QMutexLocker lock(&mutex());
        state().tag = tag;
        state().warnings = warnings;
        state().lines.clear();
        state().previous = qInstallMessageHandler(&DebugLog::handle);
    }
    ~DebugLog()
    {
        QMutexLocker lock(&mutex());
        qInstallMessageHandler(state().previous);
        state().previous = nullptr;
    }
    DebugLog(const DebugLog &) = delete;
    DebugLog &operator=(const DebugLog &) = delete;

    QStringList lines() const
    {
        QMutexLocker lock(&mutex());
        return state().lines;
    }

private:
    struct State
    {
        QString tag;
        bool warnings = false;
        QStringList lines;
        QtMessageHandler previous = nullptr;
    };
    static State &state()
    {
        static State s;
        return s;
    }
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        QtMessageHandler previous = nullptr;
        {
            QMutexLocker lock(&mutex());
            const bool collected = type == QtDebugMsg || (type == QtWarningMsg && state().warnings);
            if (collected && message.startsWith(state().tag))
                state().lines << message;
            previous = state().previous;
        }
        if (previous)
            previous(type, context, message);
    }
};
