// A TCP relay that holds each direction's bytes for half a round trip, as
// the network between a fleet's machines and their server does. What
// arrives is read at once and sent on, in order, when its time has come:
// a stream keeps its throughput, and only its latency grows.
// Usage: delay-relay UPSTREAM_PORT ROUND_TRIP_MS
// Listens on 127.0.0.1 on a free port, printed as the first line of standard
// output, and joins each client to 127.0.0.1:UPSTREAM_PORT. Runs until killed.
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { kReadSize = 64 * 1024, kMostHeld = 8 * 1024 * 1024 };

// What one read brought, and when it is due at the other end; a chunk of
// size 0 is the end of the stream.
struct chunk {
    struct chunk* next;
    long long due;
    size_t size;
    size_t sent;
    char data[];
};

struct direction {
    int from;
    int to;
    struct chunk* head;
    struct chunk* tail;
    size_t held;
    int read_done;   // the end of the stream was read, or nothing more will be
    int write_done;  // the end was passed on, or nothing more can be
};

struct pair {
    struct direction way[2];
};

static long long half_trip_ns;
static struct pair** pairs;
static size_t pair_count;

static long long now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

static void die(const char* what)
{
    perror(what);
    exit(1);
}

static void hold(struct direction* d, const char* data, size_t size)
{
    struct chunk* c = malloc(sizeof *c + size);
    if (!c)
        die("delay-relay: malloc");
    c->next = NULL;
    c->due = now_ns() + half_trip_ns;
    c->size = size;
    c->sent = 0;
    memcpy(c->data, data, size);
    if (d->tail)
        d->tail->next = c;
    else
        d->head = c;
    d->tail = c;
    d->held += size;
}

static void drop_head(struct direction* d)
{
    struct chunk* c = d->head;
    d->head = c->next;
    if (!d->head)
        d->tail = NULL;
    d->held -= c->size;
    free(c);
}

// Nothing more goes this way: what it holds is dropped.
static void give_up(struct direction* d)
{
    while (d->head)
        drop_head(d);
    d->read_done = d->write_done = 1;
}

static int wants_read(const struct direction* d)
{
    return !d->read_done && d->held < kMostHeld;
}

static int wants_write(const struct direction* d, long long now)
{
    return !d->write_done && d->head && d->head->due <= now;
}

static void read_side(struct direction* d)
{
    char buffer[kReadSize];
    const ssize_t n = read(d->from, buffer, sizeof buffer);
    if (n > 0) {
        hold(d, buffer, (size_t)n);
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        hold(d, buffer, 0);  // the end, or a reset: passed on in turn
        d->read_done = 1;
    }
}

static void write_side(struct direction* d, long long now)
{
    while (wants_write(d, now)) {
        struct chunk* c = d->head;
        if (c->size == 0) {
            shutdown(d->to, SHUT_WR);
            drop_head(d);
            d->write_done = 1;
            return;
        }
        const ssize_t n = send(d->to, c->data + c->sent, c->size - c->sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR)
                give_up(d);
            return;
        }
        c->sent += (size_t)n;
        if (c->sent < c->size)
            return;
        drop_head(d);
    }
}

static void no_delay(int fd)
{
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

static struct sockaddr_in loopback(unsigned short port)
{
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

static void accept_clients(int listener, unsigned short upstream)
{
    for (;;) {
        const int client = accept4(listener, NULL, NULL, SOCK_NONBLOCK);
        if (client < 0)
            return;
        const int server = socket(AF_INET, SOCK_STREAM, 0);
        struct sockaddr_in to = loopback(upstream);
        // A loopback connect completes at once; it blocks only that long.
        if (server < 0 || connect(server, (struct sockaddr*)&to, sizeof to) != 0) {
            perror("delay-relay: connect");
            close(client);
            if (server >= 0)
                close(server);
            continue;
        }
        fcntl(server, F_SETFL, O_NONBLOCK);
        no_delay(client);
        no_delay(server);
        struct pair* p = calloc(1, sizeof *p);
        struct pair** more = realloc(pairs, (pair_count + 1) * sizeof *pairs);
        if (!p || !more)
            die("delay-relay: malloc");
        pairs = more;
        p->way[0].from = p->way[1].to = client;
        p->way[0].to = p->way[1].from = server;
        pairs[pair_count++] = p;
    }
}

static void close_pair(size_t i)
{
    struct pair* p = pairs[i];
    give_up(&p->way[0]);
    give_up(&p->way[1]);
    close(p->way[0].from);
    close(p->way[0].to);
    free(p);
    pairs[i] = pairs[--pair_count];
}

int main(int argc, char** argv)
{
    char* end = NULL;
    const long upstream = argc == 3 ? strtol(argv[1], &end, 10) : 0;
    if (argc != 3 || *end || upstream <= 0 || upstream > 65535) {
        fprintf(stderr, "usage: delay-relay UPSTREAM_PORT ROUND_TRIP_MS\n");
        return 2;
    }
    const double trip_ms = strtod(argv[2], &end);
    if (*end || !(trip_ms >= 0 && trip_ms < 60000)) {
        fprintf(stderr, "delay-relay: the round trip is milliseconds from 0 to 60000, not %s\n", argv[2]);
        return 2;
    }
    half_trip_ns = (long long)(trip_ms * 500000.0);
    // Woken on time, not up to the default 50 us late at every due chunk.
    prctl(PR_SET_TIMERSLACK, 1UL);

    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    struct sockaddr_in here = loopback(0);
    socklen_t size = sizeof here;
    if (listener < 0 || bind(listener, (struct sockaddr*)&here, sizeof here) != 0 || listen(listener, 64) != 0 ||
        getsockname(listener, (struct sockaddr*)&here, &size) != 0)
        die("delay-relay: listen");
    printf("%u\n", ntohs(here.sin_port));
    fflush(stdout);

    struct pollfd* polled = NULL;
    for (;;) {
        const long long now = now_ns();
        long long next_due = -1;
        struct pollfd* more = realloc(polled, (1 + 2 * pair_count) * sizeof *polled);
        if (!more)
            die("delay-relay: malloc");
        polled = more;
        polled[0] = (struct pollfd){.fd = listener, .events = POLLIN};
        for (size_t i = 0; i < pair_count; ++i) {
            for (int w = 0; w < 2; ++w) {
                const struct direction* d = &pairs[i]->way[w];
                const struct direction* back = &pairs[i]->way[1 - w];
                // One entry a socket: it is the source of d and the goal of back.
                short events = (short)((wants_read(d) ? POLLIN : 0) | (wants_write(back, now) ? POLLOUT : 0));
                polled[1 + 2 * i + w] = (struct pollfd){.fd = events ? d->from : -1, .events = events};
                if (!back->write_done && back->head && back->head->due > now &&
                    (next_due < 0 || back->head->due < next_due))
                    next_due = back->head->due;
            }
        }
        struct timespec wait = {0, 0};
        if (next_due >= 0) {
            wait.tv_sec = (next_due - now) / 1000000000LL;
            wait.tv_nsec = (next_due - now) % 1000000000LL;
        }
        if (ppoll(polled, 1 + 2 * pair_count, next_due >= 0 ? &wait : NULL, NULL) < 0 && errno != EINTR)
            die("delay-relay: poll");

        // Reads first, so that their bytes are stamped as early as they came.
        for (size_t i = 0; i < pair_count; ++i)
            for (int w = 0; w < 2; ++w)
                if (polled[1 + 2 * i + w].revents && wants_read(&pairs[i]->way[w]))
                    read_side(&pairs[i]->way[w]);
        const long long after = now_ns();
        for (size_t i = pair_count; i-- > 0;) {
            write_side(&pairs[i]->way[0], after);
            write_side(&pairs[i]->way[1], after);
            if (pairs[i]->way[0].write_done && pairs[i]->way[1].write_done)
                close_pair(i);
        }
        if (polled[0].revents)
            accept_clients(listener, (unsigned short)upstream);
    }
}
