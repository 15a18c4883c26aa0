#pragma once
// The system tools the client runs (ping, nslookup, the DNS-cache flush, the
// ARP listing), described once for the host OS. Callers never assemble an
// argument list themselves: every address they hand over comes from the web
// service or the settings file, so it is checked here and always placed where
// a tool cannot read it as an option. The output parsers of the connection
// code read the English Windows wording ("Reply from ...", "Request timed
// out", "Non-authoritative answer:"); on Linux the tools' own output is
// rewritten into that wording here, so the parsers run unchanged.

#include <QString>
#include <QStringList>

#include <functional>

class QProcessEnvironment;

namespace SystemTools {

enum class HostOs { Linux, Windows };

// The OS this build runs on.
HostOs hostOs();

enum class ToolKind { Ping, Nslookup, DnsFlush, Arp };

// One prepared tool run. A command with a refusal must not run: the runner
// reports it as refused without starting anything.
struct ToolCommand
{
    ToolKind kind = ToolKind::Ping;
    HostOs os = HostOs::Linux;
    QString program; // bare name, looked up on PATH when run
    QStringList arguments;
    // Answered in-process instead of by a child process (the Linux ARP listing
    // is read from the kernel's neighbour table named by `tablePath`).
    bool builtin = false;
    QString tablePath;
    // A missing program is not an error (the DNS-cache flush is optional).
    bool optional = false;
    int timeoutMs = 0; // 0: no limit
    QString refusal;

    bool isValid() const { return refusal.isEmpty(); }
};

// Dotted-quad IPv4 text only: four decimal parts 0-255 without leading zeros
// or surrounding blanks (shorthand forms such as "127.1" or octal-looking
// parts are refused because the tools would read them differently).
bool isIpv4Literal(const QString &text);

// A DNS name a tool may take as a plain argument: letters, digits, '-', '_'
// and '.', labels of 1-63 characters not starting with '-', at most 253 in all.
bool isDomainName(const QString &text);

// Don't-fragment probe: one echo request with `payload` data bytes, one second
// to answer.
ToolCommand mtuProbeCommand(const QString &address, int payload, HostOs os = hostOs());
// Live ping: three echo requests, 900 ms each.
ToolCommand livePingCommand(const QString &address, HostOs os = hostOs());
// Ping sweep: three echo requests, 1500 ms each.
ToolCommand sweepPingCommand(const QString &address, HostOs os = hostOs());
// A lookup of `domain`; with `server` (an IPv4 literal) it asks that server,
// on `port` when above 0, instead of the system's resolver.
ToolCommand dnsLookupCommand(const QString &domain, const QString &server = QString(), int port = 0,
                             HostOs os = hostOs());
// Flushes the system's DNS cache ("resolvectl flush-caches" on Linux, run only
// when it is installed).
ToolCommand dnsFlushCommand(HostOs os = hostOs());
// The ARP listing ("arp -a" form). On Linux it comes from `tablePath`.
ToolCommand arpCommand(HostOs os = hostOs(), const QString &tablePath = QStringLiteral("/proc/net/arp"));

// Full path of `name` on PATH, or empty.
QString findTool(const QString &name);

// The environment tools run with: the caller's, plus LC_ALL=C and LANG=C so
// the output is the untranslated wording the normalisers expect.
QProcessEnvironment toolEnvironment();

// Linux ping output (standard output, then standard error) in the Windows
// English form: "Reply from A: bytes=N time=Tms TTL=L", "time<1ms" for
// sub-millisecond replies, "Request timed out." per unanswered request,
// "Packet needs to be fragmented but DF set." for a don't-fragment refusal,
// and the "Ping statistics" summary with "Average = Nms".
QString normalizePingOutput(const QString &linuxText);

// Linux nslookup output in the Windows English form: "Server:  S",
// "Address:  A" (without "#port"), "Non-authoritative answer:", "Name:    N",
// "Address:  A"; NXDOMAIN, refused and timed-out lookups in their Windows
// wording ("Non-existent domain", "DNS request timed out.").
QString normalizeNslookupOutput(const QString &linuxText);

// An interface as the ARP listing names it: its IPv4 address and index.
struct ArpInterface
{
    QString address;
    int index = 0;
};
using ArpInterfaceLookup = std::function<ArpInterface(const QString &device)>;

// The kernel's neighbour table (/proc/net/arp) as Windows prints "arp -a":
// one "Interface: A --- 0xI" section per device, complete entries as
// "dynamic", permanent ones as "static", incomplete ones left out. The lookup
// defaults to the host's interfaces.
QString renderArpTable(const QString &procNetArp, const ArpInterfaceLookup &lookup = ArpInterfaceLookup());

// The Linux rewrite for one tool kind (identity for the flush).
QString normalizeOutput(ToolKind kind, const QString &linuxText);

} // namespace SystemTools
