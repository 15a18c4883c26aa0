#include "platform/SystemTools.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cmath>

namespace SystemTools {

HostOs hostOs()
{
#ifdef Q_OS_WIN
    return HostOs::Windows;
#else
    return HostOs::Linux;
#endif
}

bool isIpv4Literal(const QString &text)
{
    // \z, not $: "$" would let a trailing newline through.
    // The pattern pins the dotted-quad form first: QHostAddress alone accepts
    // shorthand forms that ping would read as another address.
    static const QRegularExpression quad(QStringLiteral(
        "\\A(0|[1-9][0-9]{0,2})\\.(0|[1-9][0-9]{0,2})\\.(0|[1-9][0-9]{0,2})\\.(0|[1-9][0-9]{0,2})\\z"));
    if (!quad.match(text).hasMatch())
        return false;
    QHostAddress address;
    if (!address.setAddress(text))
        return false;
    return address.protocol() == QAbstractSocket::IPv4Protocol;
}

bool isDomainName(const QString &text)
{
    if (text.isEmpty() || text.size() > 253)
        return false;
    static const QRegularExpression label(QStringLiteral("\\A[A-Za-z0-9_][A-Za-z0-9_-]{0,62}\\z"));
    QString name = text;
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (name.isEmpty())
        return false;
    const QStringList labels = name.split(QLatin1Char('.'));
    for (const QString &part : labels) {
        if (!label.match(part).hasMatch())
            return false;
    }
    return true;
}

namespace {

ToolCommand refused(ToolKind kind, HostOs os, const QString &program, const QString &why)
{
    ToolCommand command;
    command.kind = kind;
    command.os = os;
    command.program = program;
    command.refusal = why;
    return command;
}

ToolCommand pingCommand(const QString &address, HostOs os, const QStringList &linuxOptions,
                        const QStringList &windowsOptions)
{
    if (!isIpv4Literal(address))
        return refused(ToolKind::Ping, os, QStringLiteral("ping"),
                       QStringLiteral("not an IPv4 address: \"%1\"").arg(address.left(64)));
    ToolCommand command;
    command.kind = ToolKind::Ping;
    command.os = os;
    command.program = QStringLiteral("ping");
    if (os == HostOs::Windows) {
        // Windows ping has no end-of-options marker; the literal check above is
        // what keeps the address from being read as an option there.
        command.arguments = windowsOptions;
        command.arguments << address;
    } else {
        command.arguments = linuxOptions;
        command.arguments << QStringLiteral("--") << address;
    }
    return command;
}

} // namespace

ToolCommand mtuProbeCommand(const QString &address, int payload, HostOs os)
{
    if (payload < 0 || payload > 65507)
        return refused(ToolKind::Ping, os, QStringLiteral("ping"), QStringLiteral("payload out of range"));
    const QString size = QString::number(payload);
    return pingCommand(address, os,
                       {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"),
                        QStringLiteral("1"), QStringLiteral("-M"), QStringLiteral("do"), QStringLiteral("-s"),
                        size},
                       {QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("-w"),
                        QStringLiteral("1000"), QStringLiteral("-f"), QStringLiteral("-l"), size});
}

ToolCommand livePingCommand(const QString &address, HostOs os)
{
    return pingCommand(
        address, os,
        {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("3"), QStringLiteral("-W"),
         QStringLiteral("0.9")},
        {QStringLiteral("-n"), QStringLiteral("3"), QStringLiteral("-w"), QStringLiteral("900")});
}

ToolCommand sweepPingCommand(const QString &address, HostOs os)
{
    return pingCommand(
        address, os,
        {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("3"), QStringLiteral("-W"),
         QStringLiteral("1.5")},
        {QStringLiteral("-n"), QStringLiteral("3"), QStringLiteral("-w"), QStringLiteral("1500")});
}

ToolCommand dnsLookupCommand(const QString &domain, const QString &server, int port, HostOs os)
{
    const QString program = QStringLiteral("nslookup");
    // nslookup knows no "--": a name that cannot start with '-' is the guard.
    if (!isDomainName(domain))
        return refused(ToolKind::Nslookup, os, program,
                       QStringLiteral("not a domain name: \"%1\"").arg(domain.left(64)));
    if (!server.isEmpty() && !isIpv4Literal(server))
        return refused(ToolKind::Nslookup, os, program,
                       QStringLiteral("not an IPv4 address: \"%1\"").arg(server.left(64)));
    if (port < 0 || port > 65535)
        return refused(ToolKind::Nslookup, os, program, QStringLiteral("port out of range"));
    ToolCommand command;
    command.kind = ToolKind::Nslookup;
    command.os = os;
    command.program = program;
    if (port > 0 && !server.isEmpty())
        command.arguments << QStringLiteral("-port=%1").arg(port);
    command.arguments << domain;
    if (!server.isEmpty())
        command.arguments << server;
    return command;
}

ToolCommand dnsFlushCommand(HostOs os)
{
    ToolCommand command;
    command.kind = ToolKind::DnsFlush;
    command.os = os;
    if (os == HostOs::Windows) {
        command.program = QStringLiteral("ipconfig");
        command.arguments << QStringLiteral("/flushdns");
    } else {
        // Systems without systemd-resolved keep no shared cache to flush.
        command.program = QStringLiteral("resolvectl");
        command.arguments << QStringLiteral("flush-caches");
        command.optional = true;
    }
    return command;
}

ToolCommand arpCommand(HostOs os, const QString &tablePath)
{
    ToolCommand command;
    command.kind = ToolKind::Arp;
    command.os = os;
    command.program = QStringLiteral("arp");
    if (os == HostOs::Windows) {
        command.arguments << QStringLiteral("-a");
    } else {
        // Linux "arp -a" prints another layout (and net-tools is often absent);
        // the kernel's table holds the same facts.
        command.builtin = true;
        command.tablePath = tablePath;
    }
    return command;
}

QString findTool(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return QString();
    return QStandardPaths::findExecutable(name);
}

QProcessEnvironment toolEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    env.remove(QStringLiteral("LANGUAGE"));
    return env;
}

namespace {

QString wholeMs(double ms)
{
    if (!(ms >= 0))
        ms = 0;
    return QString::number(static_cast<qint64>(std::floor(ms)));
}

QString replyTime(double ms)
{
    if (ms < 1.0)
        return QStringLiteral("time<1ms");
    return QStringLiteral("time=%1ms").arg(wholeMs(ms));
}

} // namespace

QString normalizePingOutput(const QString &linuxText)
{
    static const QRegularExpression header(
        QStringLiteral("^PING\\s+(\\S+)\\s+\\(([^)]*)\\)\\s+(\\d+)\\(\\d+\\)\\s+bytes of data"));
    static const QRegularExpression reply(QStringLiteral(
        "^(\\d+)\\s+bytes "
        "from\\s+([^\\s:]+)(?:\\s+\\([^)]*\\))?:\\s.*?ttl=(\\d+)(?:.*?time=([0-9.]+)\\s*ms)?"));
    static const QRegularExpression fromLine(
        QStringLiteral("^From\\s+([^\\s:]+)(?:\\s+\\([^)]*\\))?:?\\s+(.*)$"));
    static const QRegularExpression totals(
        QStringLiteral("^(\\d+) packets transmitted, (\\d+) (?:packets )?received(?:, \\+(\\d+) duplicates)?"
                       "(?:, \\+(\\d+) errors)?"));
    static const QRegularExpression rtt(
        QStringLiteral("^(?:rtt|round-trip) min/avg/max(?:/[a-z]+)? = ([0-9.]+)/([0-9.]+)/([0-9.]+)"));

    QStringList body;
    QString target;
    QString summaryTarget;
    int transmitted = -1;
    int received = 0;
    int reportedErrors = 0;
    int errorLines = 0;
    bool haveRtt = false;
    double rttMin = 0, rttAvg = 0, rttMax = 0;
    QStringList passThrough;

    const QStringList lines = linuxText.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        QRegularExpressionMatch m;
        if ((m = header.match(line)).hasMatch()) {
            target = m.captured(2);
            body << QStringLiteral("Pinging %1 with %2 bytes of data:").arg(target, m.captured(3));
        } else if ((m = reply.match(line)).hasMatch()) {
            const int bytes = qMax(0, m.captured(1).toInt() - 8); // Linux counts the ICMP header
            QString text = QStringLiteral("Reply from %1: bytes=%2").arg(m.captured(2)).arg(bytes);
            if (!m.captured(4).isEmpty())
                text += QLatin1Char(' ') + replyTime(m.captured(4).toDouble());
            text += QStringLiteral(" TTL=") + m.captured(3);
            body << text;
        } else if ((m = fromLine.match(line)).hasMatch()) {
            const QString from = m.captured(1);
            const QString what = m.captured(2);
            ++errorLines;
            if (what.contains(QLatin1String("Frag needed"), Qt::CaseInsensitive))
                body << QStringLiteral("Packet needs to be fragmented but DF set.");
            else if (what.contains(QLatin1String("Host Unreachable"), Qt::CaseInsensitive))
                body << QStringLiteral("Reply from %1: Destination host unreachable.").arg(from);
            else if (what.contains(QLatin1String("Net Unreachable"), Qt::CaseInsensitive))
                body << QStringLiteral("Reply from %1: Destination net unreachable.").arg(from);
            else if (what.contains(QLatin1String("Time to live exceeded"), Qt::CaseInsensitive))
                body << QStringLiteral("Reply from %1: TTL expired in transit.").arg(from);
            else
                body << QStringLiteral("Reply from %1: Destination unreachable.").arg(from);
        } else if (line.contains(QLatin1String("message too long"), Qt::CaseInsensitive)) {
            ++errorLines;
            body << QStringLiteral("Packet needs to be fragmented but DF set.");
        } else if (line.startsWith(QLatin1String("---")) && line.contains(QLatin1String("statistics"))) {
            summaryTarget = line.mid(3).section(QLatin1Char(' '), 1, 1);
        } else if ((m = totals.match(line)).hasMatch()) {
            transmitted = m.captured(1).toInt();
            received = m.captured(2).toInt();
            reportedErrors = m.captured(4).toInt();
        } else if ((m = rtt.match(line)).hasMatch()) {
            haveRtt = true;
            rttMin = m.captured(1).toDouble();
            rttAvg = m.captured(2).toDouble();
            rttMax = m.captured(3).toDouble();
        } else if (line.startsWith(QLatin1String("ping:"))) {
            // Send-side failures ("connect: Network is unreachable", "sendmsg: ...").
            ++errorLines;
            body << QStringLiteral("PING: transmit failed. General failure.");
        } else if (line.startsWith(QLatin1String("WARNING:"))) {
            continue;
        } else {
            passThrough << line;
        }
    }

    if (transmitted >= 0) {
        // The counts are read from text: one line per missing reply, but never
        // an unbounded number of them, and the percentage in 64 bits.
        const int unanswered = qMin(transmitted - received - qMax(reportedErrors, errorLines), 1000);
        for (int i = 0; i < unanswered; ++i)
            body << QStringLiteral("Request timed out.");
        const QString who = target.isEmpty() ? summaryTarget : target;
        const int lost = qMax(0, transmitted - received);
        const int percent = transmitted > 0 ? int(qint64(lost) * 100 / transmitted) : 0;
        body << QString();
        body << QStringLiteral("Ping statistics for %1:").arg(who);
        body << QStringLiteral("    Packets: Sent = %1, Received = %2, Lost = %3 (%4% loss),")
                    .arg(transmitted)
                    .arg(received)
                    .arg(lost)
                    .arg(percent);
        if (haveRtt) {
            body << QStringLiteral("Approximate round trip times in milli-seconds:");
            body << QStringLiteral("    Minimum = %1ms, Maximum = %2ms, Average = %3ms")
                        .arg(wholeMs(rttMin), wholeMs(rttMax), wholeMs(rttAvg));
        }
    }
    body << passThrough;
    QString out = body.join(QLatin1Char('\n'));
    if (!out.isEmpty())
        out += QLatin1Char('\n');
    return out;
}

QString normalizeNslookupOutput(const QString &linuxText)
{
    static const QRegularExpression keyValue(QStringLiteral("^(Server|Address|Name):\\s*(.*)$"));
    static const QRegularExpression cantFind(QStringLiteral("^\\*\\* server can't find (.+): ([A-Z]+)$"));
    static const QRegularExpression commsError(QStringLiteral("^;; communications error to (\\S+): (.+)$"));

    QStringList out;
    auto addOnce = [&out](const QString &line) {
        if (!out.contains(line))
            out << line;
    };
    const QStringList lines = linuxText.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty()) {
            if (!out.isEmpty() && !out.last().isEmpty())
                out << QString();
            continue;
        }
        QRegularExpressionMatch m;
        if ((m = keyValue.match(line)).hasMatch()) {
            const QString key = m.captured(1);
            QString value = m.captured(2).trimmed();
            if (key == QLatin1String("Address")) {
                const int hash = value.indexOf(QLatin1Char('#'));
                if (hash >= 0)
                    value.truncate(hash);
                out << QStringLiteral("Address:  ") + value;
            } else if (key == QLatin1String("Name")) {
                out << QStringLiteral("Name:    ") + value;
            } else {
                out << QStringLiteral("Server:  ") + value;
            }
        } else if ((m = cantFind.match(line)).hasMatch()) {
            const QString code = m.captured(2);
            QString why;
            if (code == QLatin1String("NXDOMAIN"))
                why = QStringLiteral("Non-existent domain");
            else if (code == QLatin1String("SERVFAIL"))
                why = QStringLiteral("Server failed");
            else if (code == QLatin1String("REFUSED"))
                why = QStringLiteral("Query refused");
            else
                why = code;
            out << QStringLiteral("*** UnKnown can't find %1: %2").arg(m.captured(1), why);
        } else if (line.contains(QLatin1String("timed out"), Qt::CaseInsensitive) &&
                   line.startsWith(QLatin1String(";;"))) {
            addOnce(QStringLiteral("DNS request timed out."));
            addOnce(QStringLiteral("    timeout was 2 seconds."));
        } else if ((m = commsError.match(line)).hasMatch()) {
            QString server = m.captured(1);
            const int hash = server.indexOf(QLatin1Char('#'));
            if (hash >= 0)
                server.truncate(hash);
            addOnce(QStringLiteral("*** Request to %1 failed: %2.").arg(server, m.captured(2)));
        } else if (line.startsWith(QLatin1String(";; no servers could be reached"))) {
            addOnce(QStringLiteral("*** No servers could be reached."));
        } else if (line.startsWith(QLatin1String(";;"))) {
            // Resolver chatter ("Got recursion not available", "Truncated, retrying").
            continue;
        } else {
            out << line;
        }
    }
    while (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    QString text = out.join(QLatin1Char('\n'));
    if (!text.isEmpty())
        text += QLatin1Char('\n');
    return text;
}

namespace {

ArpInterface hostInterface(const QString &device)
{
    ArpInterface result;
    const QNetworkInterface iface = QNetworkInterface::interfaceFromName(device);
    if (!iface.isValid())
        return result;
    result.index = iface.index();
    const QList<QNetworkAddressEntry> entries = iface.addressEntries();
    for (const QNetworkAddressEntry &entry : entries) {
        if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
            result.address = entry.ip().toString();
            break;
        }
    }
    return result;
}

} // namespace

QString renderArpTable(const QString &procNetArp, const ArpInterfaceLookup &lookup)
{
    struct Entry
    {
        QString address;
        QString mac;
        bool permanent;
    };
    QStringList devices;
    QHash<QString, QList<Entry>> byDevice;

    const QStringList lines = procNetArp.split(QLatin1Char('\n'));
    for (int i = 1; i < lines.size(); ++i) { // the first line is the column header
        const QStringList f =
            lines.at(i).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (f.size() < 6)
            continue;
        if (!isIpv4Literal(f.at(0)))
            continue;
        bool ok = false;
        const uint flags = f.at(2).toUInt(&ok, 16);
        if (!ok)
            continue;
        const bool permanent = flags & 0x4;
        const bool complete = flags & 0x2;
        if (!permanent && !complete)
            continue; // incomplete: no answer from that address yet
        const QString device = f.at(5);
        if (!byDevice.contains(device))
            devices << device;
        byDevice[device].append(
            {f.at(0), f.at(3).toLower().replace(QLatin1Char(':'), QLatin1Char('-')), permanent});
    }

    QString out;
    for (const QString &device : devices) {
        const ArpInterface iface = lookup ? lookup(device) : hostInterface(device);
        const QString name = iface.address.isEmpty() ? device : iface.address;
        out += QStringLiteral("\nInterface: %1 --- 0x%2\n").arg(name, QString::number(iface.index, 16));
        out += QStringLiteral("  Internet Address      Physical Address      Type\n");
        for (const Entry &e : byDevice.value(device)) {
            out += QStringLiteral("  %1%2%3\n")
                       .arg(e.address, -22)
                       .arg(e.mac, -22)
                       .arg(e.permanent ? QStringLiteral("static") : QStringLiteral("dynamic"));
        }
    }
    return out;
}

QString normalizeOutput(ToolKind kind, const QString &linuxText)
{
    switch (kind) {
    case ToolKind::Ping:
        return normalizePingOutput(linuxText);
    case ToolKind::Nslookup:
        return normalizeNslookupOutput(linuxText);
    case ToolKind::Arp:
    case ToolKind::DnsFlush:
        break;
    }
    return linuxText;
}

} // namespace SystemTools
