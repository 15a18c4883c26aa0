#pragma once
// The moment a top-level window's first frame is on screen, for the start-up
// smoke test and the start-up benchmark (the client and its baseline window
// use the same watch, so both are measured at the same point).
//
// Qt paints a window's widgets and flushes its backing store in one pass; an
// event posted at the first paint is therefore handled once that first frame
// has been flushed. It is posted with high priority, ahead of whatever else
// waits in the queue (the client starts building its pages from there).

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QWidget>

#include <functional>

class FirstFrameWatch : public QObject
{
public:
    FirstFrameWatch(QWidget *window, std::function<void()> onFrame)
        : QObject(window), m_window(window), m_onFrame(std::move(onFrame))
    {
        qApp->installEventFilter(this);
    }

    // The process's peak resident set (VmHWM) in KiB, or -1 where the kernel
    // does not say.
    static long peakResidentKb()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
        return -1;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window() == m_window) {
            qApp->removeEventFilter(this);
            QCoreApplication::postEvent(this, new QEvent(kFrameFlushed), Qt::HighEventPriority);
        }
        return false;
    }

    bool event(QEvent *event) override
    {
        if (event->type() != kFrameFlushed)
            return QObject::event(event);
        m_onFrame();
        return true;
    }

private:
    static constexpr QEvent::Type kFrameFlushed = QEvent::User;
    QWidget *m_window;
    std::function<void()> m_onFrame;
};
