// The baseline of the start-up benchmark: the least a styled client window
// costs. Same fonts, same style sheet, same frameless 1440x810 window, no
// content. Prints one line when the window is first shown, then quits.

#include "resources/BundledFonts.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <cstdio>

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
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
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
