#pragma once
// Two network namespaces joined by a veth pair, for tests of the real capture
// backend. "Here" is the test's own namespace (the runner made it with
// unshare -n); the peer is a second one held by a child process that does
// nothing but exist. Everything lives and dies with the test:
//   here  qxa 203.0.113.1/24 ------ qxb 203.0.113.2/24  peer
//         198.51.100.0/24 via .2        198.51.100.7/32, 198.51.100.8/32
// Header-only and free of Qt, for tests and benchmarks alike.

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace netnspeer {

inline const char *const kHere = "203.0.113.1";
inline const char *const kRelay = "203.0.113.2";
inline const char *const kServer = "198.51.100.7";
inline const char *const kLearned = "198.51.100.8";

inline ino_t netnsInode(const char *path)
{
    struct stat st
    {
    };
    return stat(path, &st) == 0 ? st.st_ino : 0;
}

// True when this process runs in the network namespace the test runner made
// for it (it names it in QUORLIX_PRIVATE_NETNS): the only place the real
// backend may be opened.
inline bool inPrivateNamespace()
{
    const char *made = getenv("QUORLIX_PRIVATE_NETNS");
    char own[64] = {};
    return made && readlink("/proc/self/ns/net", own, sizeof own - 1) > 0 && strcmp(own, made) == 0;
}

inline sockaddr_in endpoint(const char *addr, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, addr, &sa.sin_addr);
    return sa;
}

// Runs a shell command; true on exit status 0. *out gets stdout and stderr.
inline bool sh(const std::string &command, std::string *out = nullptr)
{
    FILE *p = popen(("exec 2>&1; " + command).c_str(), "r");
    if (!p)
        return false;
    std::string text;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        text.append(buf, n);
    const int status = pclose(p);
    if (out)
        *out = text;
    return status == 0;
}

class Peer
{
public:
    ~Peer() { stop(); }

    bool start(std::string *why)
    {
        const ino_t own = netnsInode("/proc/self/ns/net");
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (unshare(CLONE_NEWNET) != 0)
                _exit(1);
            for (;;)
                pause();
        }
        if (m_pid < 0)
            return fail(why, "fork failed");
        const std::string ns = "/proc/" + std::to_string(m_pid) + "/ns/net";
        for (int i = 0; i < 400 && netnsInode(ns.c_str()) == own; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (netnsInode(ns.c_str()) == own)
            return fail(why, "the peer namespace did not appear");
        m_here = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        m_peer = open(ns.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_here < 0 || m_peer < 0)
            return fail(why, "cannot open the namespaces");
        const std::string pid = std::to_string(m_pid);
        const std::string in = "nsenter -t " + pid + " -n ";
        const std::vector<std::string> steps = {
            "ip link set lo up",
            "ip link add qxa type veth peer name qxb && ip link set qxb netns " + pid,
            std::string("ip addr add ") + kHere + "/24 dev qxa && ip link set qxa up",
            in + "ip link set lo up",
            in + "ip addr add " + kRelay + "/24 dev qxb",
            in + "ip addr add " + kServer + "/32 dev qxb",
            in + "ip addr add " + kLearned + "/32 dev qxb",
            in + "ip link set qxb up",
            std::string("ip route add 198.51.100.0/24 via ") + kRelay,
        };
        for (const std::string &step : steps) {
            std::string out;
            if (!sh(step, &out))
                return fail(why, step + ": " + out);
        }
        // The link carries packets once both ends are up; one sent before is lost.
        for (int i = 0; i < 400 && !linkUp(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!linkUp())
            return fail(why, "the veth link did not come up");
        return true;
    }

    void stop()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        if (m_here >= 0)
            close(m_here);
        if (m_peer >= 0)
            close(m_peer);
        m_here = m_peer = -1;
    }

    // Runs f with the calling thread in the peer namespace: sockets it makes
    // and threads it starts belong there.
    template <typename F> auto inside(F f) -> decltype(f())
    {
        setns(m_peer, CLONE_NEWNET);
        struct Back
        {
            int fd;
            ~Back() { setns(fd, CLONE_NEWNET); }
        } back{m_here};
        return f();
    }

private:
    // Carrier on our end: both ends are up. (Asked of the kernel, not of
    // /sys, which shows the namespace it was mounted in.)
    static bool linkUp()
    {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq ifr{};
        strncpy(ifr.ifr_name, "qxa", sizeof ifr.ifr_name - 1);
        const bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &ifr) == 0 && (ifr.ifr_flags & IFF_RUNNING);
        if (fd >= 0)
            close(fd);
        return up;
    }

    bool fail(std::string *why, const std::string &what)
    {
        *why = what;
        return false;
    }

    pid_t m_pid = -1;
    int m_here = -1;
    int m_peer = -1;
};

} // namespace netnspeer
