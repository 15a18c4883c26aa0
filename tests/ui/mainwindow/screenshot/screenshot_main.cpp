// Starts the client as its binary does, signs nobody in, puts the sign-in
// page aside and saves what the window shows, so a person can compare the
// layout and palette for each language.
//
//   QUORLIX_SCREENSHOT_FILE      where the PNG goes (required)
//   QUORLIX_SCREENSHOT_LANGUAGE  "en-US" (default) or "fa-IR"
//   QUORLIX_SCREENSHOT_DELAY_MS  how long the window runs before the grab (default 1500)

#include "app/ClientComposition.h"
#include "app/Startup.h"
#include "i18n/TranslationManager.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/AuthPage.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    const QString file = qEnvironmentVariable("QUORLIX_SCREENSHOT_FILE");
    if (file.isEmpty()) {
        std::fprintf(stderr, "QUORLIX_SCREENSHOT_FILE is not set\n");
        return 2;
    }
    const QString language = qEnvironmentVariable("QUORLIX_SCREENSHOT_LANGUAGE", QStringLiteral("en-US"));
    bool ok = false;
    int delayMs = qEnvironmentVariableIntValue("QUORLIX_SCREENSHOT_DELAY_MS", &ok);
    if (!ok || delayMs < 0)
        delayMs = 1500;

    static int exitCode = 0;
    StartupOptions options = StartupOptions::fromEnvironment();
    options.createWindow = [file, language, delayMs] {
        TranslationManager::instance()->setLanguage(language, false);
        std::unique_ptr<MainWindow> window = createMainWindow();
        MainWindow *raw = window.get();
        QTimer::singleShot(0, raw, [raw] {
            if (raw->authPage())
                raw->authPage()->hide();
        });
        QTimer::singleShot(delayMs, raw, [raw, file] {
            QPixmap shot;
            if (QScreen *screen = raw->screen())
                shot = screen->grabWindow(raw->winId());
            if (shot.isNull())
                shot = raw->grab();
            if (shot.isNull() || !shot.save(file, "PNG")) {
                std::fprintf(stderr, "could not save %s\n", qPrintable(file));
                exitCode = 1;
            } else {
                std::printf("%s %dx%d\n", qPrintable(file), shot.width(), shot.height());
            }
            QCoreApplication::exit(exitCode);
        });
        return window;
    };
    const int loop = runClient(argc, argv, options);
    return exitCode ? exitCode : loop;
}
