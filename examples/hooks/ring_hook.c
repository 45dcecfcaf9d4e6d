/* SPDX-License-Identifier: Apache-2.0 */
/* A logging hook that keeps capture entries in a ring buffer in memory, whole entries only, for a
 * task or a debugger to drain later. This program logs a few primitives through it and drains
 * the ring to standard output: a capture that `rizorod decode` reads. */
#include <stdio.h>

#include "samples.h"
#include "rizorod_capture.h"

#define RING_SIZE 4096u /* a power of two, so that the counts below may wrap */

static struct {
    char bytes[RING_SIZE];
    size_t head, tail; /* characters written and drained so far */
    unsigned dropped;  /* entries that did not fit */
} ring;

static void ring_put(void *context, const char *text, size_t len) {
    (void)context;
    while (len-- > 0) ring.bytes[ring.head++ % RING_SIZE] = *text++;
}

/* The hook: called by the stack for every primitive it sends or receives (one caller at a time;
 * guard it with the stack's lock when primitives come from several tasks). */
void log_prim(enum rizorod_capture_interface iface, uint16_t code, const void *prim) {
    struct rizorod_capture_stamp stamp = {0};
    const uint32_t ms = board_millis() % 86400000u;
    size_t need;
    stamp.hour = (uint8_t)(ms / 3600000u);
    stamp.minute = (uint8_t)(ms / 60000u % 60u);
    stamp.second = (uint8_t)(ms / 1000u % 60u);
    stamp.millis = (uint16_t)(ms % 1000u);
    need = rizorod_capture(iface, code, prim, &stamp, NULL, 0); /* the entry's length */
    if (need == 0 || need > RING_SIZE - (ring.head - ring.tail)) {
        ++ring.dropped;
        return;
    }
    rizorod_capture_to(iface, code, prim, &stamp, ring_put, NULL);
}

int main(void) {
    const int logged = log_samples(log_prim);
    while (ring.tail != ring.head) putchar(ring.bytes[ring.tail++ % RING_SIZE]);
    fprintf(stderr, "%d logged, %u dropped\n", logged, ring.dropped);
    return ring.dropped == 0 ? 0 : 1;
}
