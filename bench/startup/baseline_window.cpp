// The baseline of the start-up benchmark: the least a styled client window
// costs. Same fonts, same style sheet, same frameless 1440x810 window, no
// content. Reports its first show and its first frame on screen as the
// client does, then quits (or, with QUORLIX_EXIT_AT_FIRST_FRAME=1, ends at
// the frame).

#include "app/FirstFrameWatch.h"
#include "resources/BundledFonts.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

class Window : public QWidget
{
protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::Show && !m_reported) {
            m_reported = true;
            std::printf("baseline: window shown %dx%d\n", width(), height());
            std::fflush(stdout);
            new FirstFrameWatch(this, [] {
                std::printf("baseline: first frame flushed peak_rss_kb=%ld\n",
                            FirstFrameWatch::peakResidentKb());
                std::fflush(stdout);
                if (qEnvironmentVariableIntValue("QUORLIX_EXIT_AT_FIRST_FRAME") == 1)
                    std::_Exit(0);
                QCoreApplication::quit();
            });
        }
        return QWidget::event(e);
    }

private:
    bool m_reported = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    applyBundledDefaultFont();
    QFile styleSheet(QStringLiteral(":/style.qss"));
    if (styleSheet.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(styleSheet.readAll()));
    Window window;
    window.setWindowFlag(Qt::FramelessWindowHint, true);
    window.setFixedSize(1440, 810);
    window.show();
    return app.exec();
}
