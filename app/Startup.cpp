#include "app/Startup.h"

#include "app/DataFolder.h"
#include "app/FirstFrameWatch.h"
#include "app/SettingsStores.h"
#include "i18n/TranslationManager.h"
#include "platform/CrashHandler.h"
#include "platform/Taskbar.h"
#include "resources/AppIcon.h"
#include "resources/BundledFonts.h"
#include "storage/DatabaseManager.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

const char kAlreadyRunningTitle[] = "Quorlix";
const char kAlreadyRunningText[] =
    "Quorlix is already running!\n\nThe existing window will be brought to the front.";

namespace {

// Reports the window's first show and its first frame on stdout and then
// ends the run; the process outside measures the time to these lines and
// checks what they say. With QUORLIX_EXIT_AT_FIRST_FRAME=1 the process ends
// at the frame without tearing anything down, so an instruction count taken
// from outside covers the start-up alone.
class FirstShowReporter : public QObject
{
public:
    explicit FirstShowReporter(QWidget *window) : QObject(window), m_window(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Show && !m_reported) {
            m_reported = true;
            const bool frameless = m_window->windowFlags().testFlag(Qt::FramelessWindowHint);
            std::printf("quorlix: window shown %dx%d frameless=%d title=%s\n", m_window->width(),
                        m_window->height(), frameless ? 1 : 0, qPrintable(m_window->windowTitle()));
            std::fflush(stdout);
            new FirstFrameWatch(m_window, [] {
                std::printf("quorlix: first frame flushed peak_rss_kb=%ld\n",
                            FirstFrameWatch::peakResidentKb());
                std::fflush(stdout);
                if (qEnvironmentVariableIntValue("QUORLIX_EXIT_AT_FIRST_FRAME") == 1)
                    std::_Exit(0);
                QCoreApplication::quit();
            });
            // A platform that never paints must not keep the run alive.
            QTimer::singleShot(kFrameWaitMs, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static constexpr int kFrameWaitMs = 10000;
    QWidget *m_window;
    bool m_reported = false;
};

} // namespace

StartupOptions StartupOptions::fromEnvironment()
{
    StartupOptions options;
    options.alreadyRunningNotifier = showAlreadyRunningBox;
    const QString instanceId = qEnvironmentVariable("QUORLIX_SINGLE_INSTANCE_ID");
    if (!instanceId.isEmpty())
        options.names = SingleInstanceNames::withId(instanceId);
    options.quitAfterFirstShow = qEnvironmentVariableIntValue("QUORLIX_QUIT_AFTER_SHOW") == 1;
    return options;
}

void showAlreadyRunningBox()
{
    QMessageBox::information(nullptr, QString::fromUtf8(kAlreadyRunningTitle),
                             QString::fromUtf8(kAlreadyRunningText), QMessageBox::Ok, QMessageBox::NoButton);
}

void prepareStoredState(const std::function<void()> &readStoredOptions)
{
    migrateLegacyData();
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (!dataFolder.isEmpty()) {
        QDir().mkpath(dataFolder);
        QDir().mkpath(dataFolder + QStringLiteral("/cache"));
        QDir().mkpath(dataFolder + QStringLiteral("/flags"));
        QDir().mkpath(dataFolder + QStringLiteral("/covers"));
        setupSettingsStorage(dataFolder);
    }
    // The stored options are read (and on a first start their defaults
    // stored) in the schema's transaction: one commit for a first start.
    bool read = false;
    const auto readStored = [&read, &readStoredOptions] {
        read = true;
        TranslationManager::instance()->loadSavedLanguage();
        if (readStoredOptions)
            readStoredOptions();
    };
    // A cache that cannot be opened is not fatal: the client runs without it.
    (void)DatabaseManager::instance()->initialize(readStored);
    if (!read)
        readStored();
}

int handOverToRunningInstance(const StartupOptions &options)
{
    qDebug().noquote() << QStringLiteral("⚠️ Another instance of Quorlix is already running!");
    SingleInstance::notifyRunningInstance(options.names.serverName);
    if (options.alreadyRunningNotifier)
        options.alreadyRunningNotifier();
    return 0;
}

void applyStyleAndIcon(QApplication &app)
{
    QFile styleSheet(QStringLiteral(":/style.qss"));
    if (styleSheet.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(styleSheet.readAll()));

    QApplication::setWindowIcon(appIcon());
}

int runClient(int &argc, char **argv, const StartupOptions &options)
{
    QApplication app(argc, argv);
    return runStartedClient(app, options);
}

int runStartedClient(QApplication &app, const StartupOptions &options)
{
    QApplication::setApplicationName(QStringLiteral("Quorlix"));
    QApplication::setOrganizationName(QStringLiteral("Quorlix"));
    setTaskbarIdentity(QStringLiteral("Quorlix.QuorlixApp.Desktop"));

    prepareStoredState(options.readStoredOptions);

    SingleInstance instance(options.names);
    if (!instance.claim())
        return handOverToRunningInstance(options);
    instance.listen();
    if (options.startWindowPreparation)
        options.startWindowPreparation();

    installCrashHandler();

    const QString rule(40, QLatin1Char('='));
    qDebug().noquote() << rule;
    qDebug().noquote() << QStringLiteral("🚀 Quorlix UI Starting...");
    qDebug().noquote() << QStringLiteral("🔧 SESSION MANAGEMENT FIX APPLIED v2024");
    qDebug().noquote() << QStringLiteral("✅ Single Instance Protection ENABLED");
    qDebug().noquote() << rule;

    // Before the style sheet, so its "Inter" rules find the bundled fonts
    // on machines that do not have them installed.
    applyBundledDefaultFont();
    applyStyleAndIcon(app);

    std::unique_ptr<QWidget> window =
        options.createWindow ? options.createWindow() : std::make_unique<QWidget>();
    QWidget *shown = window.get();
    QObject::connect(&instance, &SingleInstance::showRequested, shown, [shown] {
        // show() alone leaves a minimised window minimised, which is not
        // "brought to the front" as the second start promises.
        shown->setWindowState(shown->windowState() & ~Qt::WindowMinimized);
        shown->show();
        shown->raise();
        shown->activateWindow();
    });
    if (options.quitAfterFirstShow)
        new FirstShowReporter(shown);
    window->setWindowIcon(QGuiApplication::windowIcon());
    window->show();

    const int result = app.exec();
    // The claim and the server go first, so a start racing our exit finds
    // the instance gone rather than a window that will not answer.
    instance.release();
    window.reset();
    return result;
}
