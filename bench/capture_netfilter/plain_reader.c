// The baseline of the capture benchmark: a plain accept-all reader of one
// netfilter queue, as a few lines of C would write it. One packet per read,
// one verdict per packet, every packet let through unchanged.
//
//   quorlix_bench_plain_reader <queue number>
// Prints "ready" once the queue is bound; runs until killed.

#include <arpa/inet.h>
#include <libnetfilter_queue/libnetfilter_queue.h>
#include <linux/netfilter.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>

static int accept_all(struct nfq_q_handle *q, struct nfgenmsg *msg, struct nfq_data *nfa, void *ctx)
{
    (void)msg;
    (void)ctx;
    struct nfqnl_msg_packet_hdr *ph = nfq_get_msg_packet_hdr(nfa);
    if (ph)
        nfq_set_verdict(q, ntohl(ph->packet_id), NF_ACCEPT, 0, NULL);
    return 0;
}

int main(int argc, char **argv)
{
    struct nfq_handle *h = nfq_open();
    struct nfq_q_handle *q =
        h && argc > 1 ? nfq_create_queue(h, (uint16_t)atoi(argv[1]), accept_all, NULL) : NULL;
    if (!q || nfq_set_mode(q, NFQNL_COPY_PACKET, 0xFFFF) < 0) {
        perror("netfilter queue");
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    static char buf[0x10000 + 4096];
    for (;;) {
        const int n = (int)recv(nfq_fd(h), buf, sizeof buf, 0);
        if (n >= 0)
            nfq_handle_packet(h, buf, n);
    }
}
