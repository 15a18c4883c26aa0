#pragma once
// The PC tunnel engine's UDP socket: unbound, non-blocking, used only with
// sendto (the relays' replies come back through the capture, never through
// this socket). On Linux the socket is set not to forbid fragmentation, so a
// datagram larger than the path MTU is fragmented rather than refused with
// EMSGSIZE.
//
// The socket lives in a QuorlixEngineSocket the caller keeps for the process
// (the engine's static state), so quorlix_tunnel_stop may close it from another
// thread while the engine thread sends: close is idempotent, waits for a send in
// progress to finish, and later sends fail cleanly with EBADF.
//
// Tests replace the system calls with quorlix_socket_set_ops to see the
// datagrams the engine sends, or to make sending fail.

#include <atomic>
#include <stddef.h>
#include <stdint.h>

typedef struct QuorlixEngineSocket
{
    std::atomic<int> fd{-1};
    std::atomic<int> busy{0};
} QuorlixEngineSocket;

// The system calls behind the socket. Each returns -1 and sets *err (an errno
// value) on failure.
typedef struct QuorlixSocketOps
{
    // Creates the unbound non-blocking UDP socket; returns its descriptor.
    int (*open)(void *ctx, int *err);
    // Sends one datagram to addr (as inet_addr gives it) : port (host order);
    // returns the bytes sent.
    long (*send_to)(void *ctx, int fd, const void *data, size_t len, uint32_t addr, uint16_t port, int *err);
    void (*close)(void *ctx, int fd);
} QuorlixSocketOps;

#ifdef __cplusplus
extern "C" {
#endif

// Installs replacement calls (NULL restores the real ones). ops must outlive
// its use. Not to be changed while a socket is open.
void quorlix_socket_set_ops(const QuorlixSocketOps *ops, void *ctx);

// Opens the socket into s. Returns 1, or 0 with *err set (s stays closed).
// Closes a socket already open in s first.
int quorlix_socket_open(QuorlixEngineSocket *s, int *err);

// 1 while s holds an open socket.
int quorlix_socket_is_open(const QuorlixEngineSocket *s);

// Sends one datagram. Returns the bytes sent, or -1 with *err set (EBADF when
// the socket is closed, EAGAIN/EWOULDBLOCK when its buffer is full).
long quorlix_socket_send_to(QuorlixEngineSocket *s, const void *data, size_t len, uint32_t addr,
                            uint16_t port, int *err);

// Closes the socket if open; safe from any thread and more than once.
void quorlix_socket_close(QuorlixEngineSocket *s);

#ifdef __cplusplus
}
#endif
