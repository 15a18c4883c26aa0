// quorlix-testrelay: runs the test relay in the foreground until interrupted,
// printing its counters once a second when they change.

#include "TestRelay.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int)
{
    g_stop = 1;
}

void usage()
{
    fprintf(
        stderr,
        "usage: quorlix-testrelay [--address A] [--port P] [--ack] [--drop-every N]\n"
        "                         [--dns NAME=IP[,IP...]] [--cname NAME=TARGET] [--silent PORT]\n"
        "                         [--console]\n"
        "  --address A     loopback address to listen on (default 127.0.0.1)\n"
        "  --port P        UDP port (default 50000; the client's capture admits only 50000)\n"
        "  --ack           acknowledgement mode (40-byte headers, own sequence numbers)\n"
        "  --drop-every N  in acknowledgement mode, drop every datagram whose sequence is a multiple of N\n"
        "  --dns NAME=IPS  answer A queries for NAME with the given addresses\n"
        "  --cname N=T     answer queries for N with a CNAME to T first\n"
        "  --silent PORT   do not answer UDP to this destination port\n"
        "  --console       serve the console gateway (no flags, console ConnID)\n");
}

} // namespace

int main(int argc, char **argv)
{
    testrelay::TestRelay::Options options;
    uint32_t dropEvery = 0;
    std::vector<std::pair<std::string, std::string>> dns, cnames;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--address" && hasValue) {
            options.address = argv[++i];
        } else if (a == "--port" && hasValue) {
            const long p = strtol(argv[++i], nullptr, 10);
            if (p < 1 || p > 65535) {
                fprintf(stderr, "invalid port: %s\n", argv[i]);
                return 2;
            }
            options.port = uint16_t(p);
        } else if (a == "--console") {
            options.consoleClient = true;
        } else if (a == "--ack") {
            options.ackMode = true;
        } else if (a == "--drop-every" && hasValue) {
            dropEvery = uint32_t(strtoul(argv[++i], nullptr, 10));
        } else if ((a == "--dns" || a == "--cname") && hasValue) {
            const std::string v = argv[++i];
            const size_t eq = v.find('=');
            if (eq == std::string::npos || eq == 0) {
                fprintf(stderr, "expected NAME=VALUE: %s\n", v.c_str());
                return 2;
            }
            (a == "--dns" ? dns : cnames).emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--silent" && hasValue) {
            options.silentPorts.insert(uint16_t(strtoul(argv[++i], nullptr, 10)));
        } else {
            usage();
            return a == "--help" || a == "-h" ? 0 : 2;
        }
    }

    testrelay::TestRelay relay(options);
    std::map<std::string, testrelay::DnsAnswer> answers;
    for (const auto &c : cnames)
        answers[c.first].cnames.push_back(c.second);
    for (const auto &d : dns) {
        size_t start = 0;
        while (start <= d.second.size()) {
            size_t comma = d.second.find(',', start);
            if (comma == std::string::npos)
                comma = d.second.size();
            if (comma > start)
                answers[d.first].addresses.push_back(d.second.substr(start, comma - start));
            start = comma + 1;
        }
    }
    for (const auto &a : answers)
        relay.setDnsAnswer(a.first, a.second);
    if (dropEvery)
        relay.setAckPolicy(testrelay::TestRelay::dropEvery(dropEvery));
    if (!relay.start()) {
        fprintf(stderr, "quorlix-testrelay: %s\n", relay.errorString().c_str());
        return 1;
    }
    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);
    printf("quorlix-testrelay listening on %s:%u%s\n", options.address.c_str(), relay.boundPort(),
           options.ackMode ? " (acknowledgement mode)" : "");
    fflush(stdout);
    uint64_t lastDatagrams = ~0ull;
    while (!g_stop) {
        usleep(200 * 1000);
        const testrelay::RelayStats s = relay.stats();
        if (s.datagrams == lastDatagrams)
            continue;
        lastDatagrams = s.datagrams;
        printf(
            "datagrams=%llu accepted=%llu rejected=%llu keepalives=%llu replies=%llu dropped=%llu dns=%llu "
            "tcp=%llu%s%s\n",
            (unsigned long long)s.datagrams, (unsigned long long)s.accepted, (unsigned long long)s.rejected,
            (unsigned long long)s.keepalives, (unsigned long long)s.replies, (unsigned long long)s.dropped,
            (unsigned long long)s.dnsQueries, (unsigned long long)s.tcpSegments,
            s.lastRejection.empty() ? "" : " last rejection: ", s.lastRejection.c_str());
        fflush(stdout);
    }
    relay.stop();
    return 0;
}
