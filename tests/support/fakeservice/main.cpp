// quorlix-devservice: the fake web service as a standalone program, so the
// client can be tried on one machine with a sample catalogue, relays on
// 127.0.0.x and a demo account (see README.md).

#include "support/fakeservice/DevRelays.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/HostileModes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorlix-devservice"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local development stand-in for the Quorlix web service."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringList{QStringLiteral("p"), QStringLiteral("port")},
                                        QStringLiteral("TCP port on 127.0.0.1 (0 picks a free one)."),
                                        QStringLiteral("port"), QStringLiteral("18080"));
    const QCommandLineOption quietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
                                         QStringLiteral("Do not log each request."));
    QStringList modeNames;
    for (HostileModes::Mode mode : HostileModes::all())
        modeNames << HostileModes::name(mode);
    const QCommandLineOption hostileOption(
        QStringLiteral("hostile"),
        QStringLiteral("Answer every API endpoint in a hostile way: %1. \"redirect\" sends each request "
                       "to a second host on 127.0.0.2, which logs what reaches it.")
            .arg(modeNames.join(QStringLiteral(", "))),
        QStringLiteral("mode"));
    const QCommandLineOption relaysOption(
        QStringLiteral("relays"),
        QStringLiteral("Also run the relays of the relay list on their loopback addresses."));
    const QCommandLineOption dataOption(
        QStringLiteral("data-dir"),
        QStringLiteral("Keep the sessions in this folder, so a restart keeps remembered sign-ins."),
        QStringLiteral("folder"));
    parser.addOption(portOption);
    parser.addOption(quietOption);
    parser.addOption(relaysOption);
    parser.addOption(dataOption);
    parser.addOption(hostileOption);
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    QTextStream err(stderr);
    if (!ok || port > 65535) {
        err << "quorlix-devservice: invalid port " << parser.value(portOption) << Qt::endl;
        return 2;
    }

    FakeService service;
    // Nothing is read or written, and no relay is taken, before the port is
    // ours: a second service started while one runs leaves the first alone.
    // One line of our own says why listening failed; Qt's would only repeat it.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.httpserver=false"));
    const bool listening = service.listen(QHostAddress(QHostAddress::LocalHost), quint16(port));
    QLoggingCategory::setFilterRules(QString());
    if (!listening) {
        err << "quorlix-devservice: cannot listen on 127.0.0.1:" << port
            << " (taken by another program, or another development service)" << Qt::endl;
        return 1;
    }
    if (parser.isSet(dataOption)) {
        const QString folder = parser.value(dataOption);
        QString why;
        if (!QDir().mkpath(folder))
            err << "quorlix-devservice: cannot create " << folder << "; sessions are not kept" << Qt::endl;
        else if (!service.setSessionFile(QDir(folder).filePath(QStringLiteral("sessions.json")), &why))
            err << "quorlix-devservice: stored sessions not read (" << why << "); starting without them"
                << Qt::endl;
    }
    DevRelays relays;
    if (parser.isSet(relaysOption)) {
        QStringList problems;
        relays.start(service.servers(), service.games(), &problems);
        for (const QString &problem : std::as_const(problems))
            err << "quorlix-devservice: " << problem << Qt::endl;
    }
    HostileModes::Mode mode = HostileModes::Mode::HugeField;
    FakeService elsewhere;
    if (parser.isSet(hostileOption)) {
        if (!HostileModes::fromName(parser.value(hostileOption), &mode)) {
            err << "quorlix-devservice: unknown mode " << parser.value(hostileOption) << Qt::endl;
            return 2;
        }
        if (mode == HostileModes::Mode::Redirect &&
            !elsewhere.listen(QHostAddress(QStringLiteral("127.0.0.2")), 0)) {
            err << "quorlix-devservice: cannot listen on 127.0.0.2" << Qt::endl;
            return 1;
        }
        HostileModes::apply(service, mode, HostileModes::Sizes(), elsewhere.origin());
    }
    QTextStream out(stdout);
    if (parser.isSet(hostileOption)) {
        out << "  every endpoint answers: " << HostileModes::name(mode) << Qt::endl;
        if (mode == HostileModes::Mode::Redirect)
            out << "  redirects go to " << elsewhere.origin().toString() << Qt::endl;
    }
    QObject::connect(&elsewhere, &FakeService::requestReceived, &app, [&out](const RecordedRequest &r) {
        out << "[elsewhere] " << r.method << ' ' << r.path
            << (r.hasHeader("Authorization") ? " with Authorization" : "")
            << (r.hasHeader("X-Device-Id") ? " with X-Device-Id" : "") << Qt::endl;
    });
    out << "quorlix-devservice listening on " << service.origin().toString() << Qt::endl
        << "  demo account: " << FakeService::kDemoEmail << " / " << FakeService::kDemoPassword << Qt::endl
        << "  Discord demo email: " << FakeService::kDemoDiscordEmail << Qt::endl
        << "  point the client at it with QUORLIX_SERVICE_ORIGIN, QUORLIX_DISCORD_ORIGIN and "
           "QUORLIX_GEO_ORIGIN = "
        << service.origin().toString() << Qt::endl;
    for (const QString &relay : relays.describe())
        out << "  relay " << relay << Qt::endl;
    if (!parser.isSet(quietOption)) {
        QObject::connect(&service, &FakeService::requestReceived, &app, [&out](const RecordedRequest &r) {
            out << r.method << ' ' << r.path;
            if (!r.query.isEmpty())
                out << '?' << r.query.toString(QUrl::FullyEncoded);
            out << Qt::endl;
        });
    }
    return app.exec();
}
