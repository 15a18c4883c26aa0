// quorlix-devservice: the fake web service as a standalone program, so the
// client can be tried on one machine with a sample catalogue, relays on
// 127.0.0.x and a demo account (see README.md).

#include "support/fakeservice/FakeService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
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
    parser.addOption(portOption);
    parser.addOption(quietOption);
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    QTextStream err(stderr);
    if (!ok || port > 65535) {
        err << "quorlix-devservice: invalid port " << parser.value(portOption) << Qt::endl;
        return 2;
    }

    FakeService service;
    if (!service.listen(QHostAddress(QHostAddress::LocalHost), quint16(port))) {
        err << "quorlix-devservice: cannot listen on 127.0.0.1:" << port << Qt::endl;
        return 1;
    }
    QTextStream out(stdout);
    out << "quorlix-devservice listening on " << service.origin().toString() << Qt::endl
        << "  demo account: " << FakeService::kDemoEmail << " / " << FakeService::kDemoPassword << Qt::endl
        << "  Discord demo email: " << FakeService::kDemoDiscordEmail << Qt::endl
        << "  point the client at it with QUORLIX_SERVICE_ORIGIN, QUORLIX_DISCORD_ORIGIN and "
           "QUORLIX_GEO_ORIGIN = "
        << service.origin().toString() << Qt::endl;
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
