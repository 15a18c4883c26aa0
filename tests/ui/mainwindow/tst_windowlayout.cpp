// Every view of the window in English and Persian, looked at through its
// widget geometry: the screenshot helper stages each view as it does for a
// shot (tools/screenshots.sh), in a process with a home of its own, and
// instead of a picture reports what LayoutCheck finds: a control the side
// navigation covers, a label that cuts its text or draws it on the mirrored
// side, siblings lying over each other. First, the check itself on small
// widget trees that have each fault and its lookalikes that are fine.

#include "screenshot/LayoutCheck.h"
#include "support/PainterWarnings.h"
#include "ui/widgets/FittedText.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <algorithm>

namespace {

// A stand-in of the window: 1440 wide, with the side navigation's column.
struct Window
{
    QWidget window;
    QWidget *column;
    QWidget *page;
    explicit Window(bool persian)
    {
        window.resize(1440, 810);
        page = new QWidget(&window);
        page->setObjectName(QStringLiteral("Page"));
        page->setGeometry(0, 0, 1440, 810);
        column = new QWidget(&window);
        column->setObjectName(QStringLiteral("HeaderNavDots"));
        column->setGeometry(persian ? 1346 : 24, 111, 70, 500);
    }
    QLabel *label(const QString &name, const QString &text, const QRect &geometry)
    {
        auto *l = new QLabel(text, page);
        l->setObjectName(name);
        l->setGeometry(geometry);
        return l;
    }
    QPushButton *button(const QString &name, const QRect &geometry)
    {
        auto *b = new QPushButton(QStringLiteral("Go"), page);
        b->setObjectName(name);
        b->setGeometry(geometry);
        return b;
    }
    QStringList faults()
    {
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return {QStringLiteral("window not shown")};
        return LayoutCheck::findFaults(&window);
    }
};

// Views the layout cannot hold for reasons of their own design.
const char *const kLeftOut[][2] = {
    {"games-small", "the 1080 x 608 window keeps the design's 1440-wide positions, so its header and pages "
                    "overflow it whatever this check says"},
};

} // namespace

class TestWindowLayout : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void checkFindsEachFault_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QString>("fault"); // part of the one line expected; empty: none
        QTest::newRow("button under the Persian navigation") << "under"
                                                             << "under the side navigation: Add";
        QTest::newRow("the same button in English") << "under-en"
                                                    << "";
        QTest::newRow("label narrower than its text") << "cut"
                                                      << "text wider than its label: Title";
        QTest::newRow("label cut short on purpose") << "elided"
                                                    << "";
        QTest::newRow("label cut by its parent") << "clipped"
                                                 << "text wider than its label: Clipped";
        QTest::newRow("Persian text aligned left, not absolutely") << "mirrored"
                                                                   << "drawn on the mirrored side";
        QTest::newRow("Persian text aligned left absolutely") << "absolute"
                                                              << "";
        QTest::newRow("two buttons over each other") << "overlap"
                                                     << "over each other: One";
        QTest::newRow("a hit button over its card's texts") << "hit"
                                                            << "";
        QTest::newRow("stacked labels whose boxes touch") << "stacked"
                                                          << "";
    }
    void checkFindsEachFault()
    {
        QFETCH(QString, scene);
        QFETCH(QString, fault);
        Window w(scene != QLatin1String("under-en"));
        if (scene.startsWith(QLatin1String("under"))) {
            w.button(QStringLiteral("Add"), QRect(1300, 200, 100, 40));
        } else if (scene == QLatin1String("cut")) {
            w.label(QStringLiteral("Title"), QStringLiteral("Arena Strike"), QRect(200, 200, 40, 20));
        } else if (scene == QLatin1String("elided")) {
            QLabel *l = w.label(QStringLiteral("Title"), QString(), QRect(200, 200, 60, 20));
            FittedText::elide(l, QStringLiteral("Arena Strike: the long edition"));
        } else if (scene == QLatin1String("clipped")) {
            auto *box = new QWidget(w.page);
            box->setGeometry(200, 200, 60, 30);
            auto *l = new QLabel(QStringLiteral("Arena Strike"), box);
            l->setObjectName(QStringLiteral("Clipped"));
            l->setGeometry(10, 0, 200, 20);
        } else if (scene == QLatin1String("mirrored") || scene == QLatin1String("absolute")) {
            QLabel *l =
                w.label(QStringLiteral("Persian"), QStringLiteral("منطقه سرور"), QRect(200, 200, 300, 20));
            l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter |
                            (scene == QLatin1String("absolute") ? Qt::AlignAbsolute : Qt::AlignmentFlag(0)));
        } else if (scene == QLatin1String("overlap")) {
            w.button(QStringLiteral("One"), QRect(200, 200, 100, 40));
            w.button(QStringLiteral("Two"), QRect(260, 210, 100, 40));
        } else if (scene == QLatin1String("hit")) {
            w.label(QStringLiteral("CardTitle"), QStringLiteral("Relay"), QRect(210, 210, 80, 20));
            w.button(QStringLiteral("CardHit"), QRect(200, 200, 200, 60));
        } else if (scene == QLatin1String("stacked")) {
            QFont font;
            font.setPixelSize(14);
            for (int i = 0; i < 2; ++i) {
                QLabel *l = w.label(QStringLiteral("Line%1").arg(i), QStringLiteral("ace"),
                                    QRect(200, 200 + 16 * i, 80, 24));
                l->setFont(font);
            }
        }
        const QStringList faults = w.faults();
        if (fault.isEmpty()) {
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
        } else {
            QCOMPARE(faults.size(), 1);
            QVERIFY2(faults.first().contains(fault), qPrintable(faults.first()));
        }
    }

    void everyViewInBothLanguages()
    {
        const QString tool = qEnvironmentVariable("QUORLIX_BINARY_DIR") +
                             QStringLiteral("/tests/ui/mainwindow/screenshot/quorlix-screenshot");
        QVERIFY2(QFile::exists(tool), qPrintable(tool + QStringLiteral(" is not built")));
        QProcess lister;
        lister.start(tool, {QStringLiteral("--views")});
        QVERIFY(lister.waitForFinished(30000));
        QStringList views =
            QString::fromUtf8(lister.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(views.size() > 40);
        for (const auto &left : kLeftOut)
            views.removeAll(QLatin1String(left[0]));

        struct Run
        {
            QString view, language;
        };
        QList<Run> runs;
        for (const QString &view : std::as_const(views))
            for (const char *language : {"en-US", "fa-IR"})
                runs.append({view, QLatin1String(language)});

        // A few at a time, each with a home and data folder of its own.
        const int parallel = std::clamp(QThread::idealThreadCount() / 2, 2, 4);
        QStringList faults;
        int next = 0;
        int finished = 0;
        QList<QProcess *> running;
        const QString scratch = qEnvironmentVariable("QUORLIX_TEST_TMP");
        auto start = [&](int index) {
            const Run &run = runs.at(index);
            const QString home = scratch + QStringLiteral("/layout-%1").arg(index);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char *folder : {"home", "data", "config", "cache", "runtime"})
                QDir().mkpath(home + QLatin1Char('/') + QLatin1String(folder));
            QFile::setPermissions(home + QStringLiteral("/runtime"),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            env.insert(QStringLiteral("HOME"), home + QStringLiteral("/home"));
            env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
            env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
            env.insert(QStringLiteral("QUORLIX_SINGLE_INSTANCE_ID"),
                       QStringLiteral("layout-%1-%2").arg(QCoreApplication::applicationPid()).arg(index));
            env.insert(QStringLiteral("QUORLIX_SCREENSHOT_CHECK"), QStringLiteral("1"));
            env.insert(QStringLiteral("QUORLIX_SCREENSHOT_SETTLE_MS"), QStringLiteral("150"));
            env.insert(QStringLiteral("QUORLIX_SCREENSHOT_VIEW"), run.view);
            env.insert(QStringLiteral("QUORLIX_SCREENSHOT_LANGUAGE"), run.language);
            auto *process = new QProcess(this);
            process->setProcessEnvironment(env);
            process->setProperty("run", index);
            process->setStandardErrorFile(QProcess::nullDevice());
            process->start(tool, {});
            running << process;
        };
        while (next < runs.size() && running.size() < parallel)
            start(next++);
        while (!running.isEmpty()) {
            // Each view is ready within seconds; the ceiling is for a busy machine.
            QTRY_VERIFY_WITH_TIMEOUT(
                std::any_of(running.begin(), running.end(),
                            [](QProcess *p) { return p->state() == QProcess::NotRunning; }),
                90000);
            for (QProcess *p : QList<QProcess *>(running)) {
                if (p->state() != QProcess::NotRunning)
                    continue;
                const Run &run = runs.at(p->property("run").toInt());
                const QString tag = QStringLiteral("[%1] ").arg(run.language);
                const QStringList lines = QString::fromUtf8(p->readAllStandardOutput())
                                              .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                for (const QString &line : lines) {
                    if (line.startsWith(QLatin1String("LAYOUT ")))
                        faults << tag + line.mid(7);
                }
                if (p->exitStatus() != QProcess::NormalExit || (p->exitCode() != 0 && p->exitCode() != 3))
                    faults << tag + run.view + QStringLiteral(": did not run (exit %1)").arg(p->exitCode());
                running.removeAll(p);
                p->deleteLater();
                ++finished;
                if (next < runs.size())
                    start(next++);
            }
        }
        QCOMPARE(finished, runs.size());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
