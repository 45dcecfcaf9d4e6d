/* SPDX-License-Identifier: Apache-2.0 */
/* The C interface as a C program uses it: C99, built apart from the library and linked only
 * against it. Arguments: the examples folder and the tests' data folder. Read through the C
 * readers, the example session and the malformed capture must give exactly the texts and
 * messages that the rizorod tool gives for them. */
#include <stdio.h>
#include <string.h>

#include <RizOrodOzido/rizorod.h>

static int failures;
#define CHECK(c) \
    ((c) ? (void)0 : (void)(++failures, fprintf(stderr, "line %d: %s\n", __LINE__, #c)))

static char got[1 << 16], said[1 << 12], want[1 << 16], capture[1 << 13];

static void add(char* to, size_t size, const char* s) {
    CHECK(strlen(to) + strlen(s) < size);
    strncat(to, s, size - strlen(to) - 1);
}

static const char* slurp(const char* folder, const char* name, char* to, size_t size) {
    FILE* f;
    sprintf(to, "%.4000s/%s", folder, name);
    f = fopen(to, "rb");
    CHECK(f != NULL);
    to[f ? fread(to, 1, size - 1, f) : 0] = '\0';
    if (f) fclose(f);
    return to;
}

/* Reads the rest of a capture: decodings into `got`, messages (one line each) into `said`. */
static void read_all(rizorod_reader* r) {
    rizorod_entry e;
    rizorod_error err;
    rizorod_status s;
    char* text = NULL;
    while ((s = rizorod_reader_next(r, &e, &text, &err)) != RIZOROD_END) {
        CHECK(s == RIZOROD_OK ? text != NULL
                              : err.status == s && text == NULL &&
                                    (s == RIZOROD_E_CAPTURE || s == RIZOROD_E_DECODE));
        if (s == RIZOROD_OK) add(got, sizeof got, text), rizorod_free(text), text = NULL;
        else add(said, sizeof said, err.message), add(said, sizeof said, "\n");
    }
    rizorod_reader_close(r);
}

/* A walk's steps as text: "type=8196 bd_addr{BD_ADDR_T lap=... } bd_addr:00:02:5B:9E:8B:33 ...",
 * a list "label[ ... ]", bytes "label#length"; stops after `stop_after` steps when not 0. */
static char trace[1 << 12];
static int steps, stop_after;
static int RIZOROD_CALL step(void* context, const rizorod_field* f) {
    char one[128];
    const char* label = f->label ? f->label : "";
    (void)context;
    switch (f->kind) {
    case RIZOROD_FIELD_VALUE: sprintf(one, "%s=%lu ", label, (unsigned long)f->value); break;
    case RIZOROD_FIELD_RECORD_BEGIN: sprintf(one, "%s{%s ", label, f->name); break;
    case RIZOROD_FIELD_LIST_BEGIN: sprintf(one, "%s[ ", label); break;
    case RIZOROD_FIELD_RECORD_END: sprintf(one, "} "); break;
    case RIZOROD_FIELD_LIST_END: sprintf(one, "] "); break;
    case RIZOROD_FIELD_TEXT: sprintf(one, "%s:%.*s@%u ", label, (int)f->length, (const char*)f->bytes, f->depth); break;
    default: sprintf(one, "%s#%d:%lu ", label, (int)f->kind, (unsigned long)f->length); break;
    }
    add(trace, sizeof trace, one);
    return ++steps == stop_after;
}

int main(int argc, char** argv) {
    /* DM_ACL_CONNECT_CFM_T, no pointers; L2CA_DATAWRITE_REQ_T, a pointer to 3 bytes at 0x300000. */
    static const uint8_t acl[] = {0x04, 0x20, 0x1a, 0, 0, 0, 0x29, 0, 0x33, 0x8b, 0x9e, 0, 0x5b, 0,
                                  0x02, 0, 0x01};
    static const uint8_t wr[] = {0x0b, 0, 0x41, 0, 3, 0, 0, 0, 0, 0, 0x30, 0};
    static const uint8_t payload[] = {1, 2, 3};
    const rizorod_block full = {0x300000, payload, 3}, part = {0x300000, payload, 2};
    const rizorod_block overlapping[] = {{0x300000, payload, 3}, {0x300002, payload, 1}};
    const rizorod_block wrapping = {0x300000, payload, (size_t)-1};
    const rizorod_timestamp stamp = {9, 41, 7, 118, 0, 0, 0, 0};
    rizorod_error err[25];
    char* text[6] = {NULL};
    rizorod_interface iface = RIZOROD_DM;
    rizorod_primitive row = {0, 0, NULL}, found;
    rizorod_reader* reader = NULL;
    rizorod_entry entry;
    size_t i, k;
    if (argc != 3) return fprintf(stderr, "usage: capi_test EXAMPLES DATA\n"), 2;
    CHECK(strcmp(rizorod_version(), RIZOROD_EXPECTED_VERSION) == 0);

    /* The registry: names both ways, every row by index and by code, codes in order. */
    for (k = 0; k < 5; ++k) {
        const char* name = rizorod_interface_name((rizorod_interface)k);
        const size_t count = rizorod_primitive_count((rizorod_interface)k);
        CHECK(k == 4 ? name == NULL && count == 0
                     : rizorod_interface_named(name, &iface, NULL) == 0 && iface == k && count > 0);
        for (i = 0; i < count; ++i) {
            const uint16_t before = row.code;
            CHECK(rizorod_primitive_at(iface, i, &row, NULL) == 0 && (i == 0 || row.code > before));
            CHECK(rizorod_find_primitive(iface, row.code, &found, NULL) == 0 &&
                  found.name == row.name && found.size == row.size);
        }
    }

    /* In process and offline, a record gives the same text below the header line, which shows
     * the stamp when one is given; a pointer is followed into the blocks. */
    CHECK(rizorod_decode(RIZOROD_DM, 0x2004, acl, &text[0], NULL) == 0);
    CHECK(rizorod_decode_record(RIZOROD_DM, 0x2004, acl, 17, NULL, 0, &stamp, &text[1], NULL) == 0);
    CHECK(text[0] && text[1] && strncmp(text[1], "---- 09:41:07.118 ", 18) == 0 &&
          strcmp(strchr(text[0], '\n'), strchr(text[1], '\n')) == 0);
    CHECK(rizorod_decode_record(RIZOROD_L2CAP, 11, wr, 12, &full, 1, NULL, &text[2], NULL) == 0);
    CHECK(text[2] && strstr(text[2], " 01 02 03\n"));
    for (k = 0; k < 3; ++k) rizorod_free(text[k]), text[k] = NULL;
    for (k = 0; k < 4; ++k) { /* a stamp with one part out of range shows as question marks */
        rizorod_timestamp bad = {0, 0, 0, 0, 0, 0, 0, 0};
        bad.hour = k == 0 ? 24 : 0, bad.minute = k == 1 ? 60 : 0, bad.second = k == 2 ? 61 : 0;
        bad.millis = k == 3 ? 1000 : 0;
        CHECK(rizorod_decode_record(RIZOROD_DM, 0x2004, acl, 17, NULL, 0, &bad, &text[0], NULL) == 0 &&
              strncmp(text[0], "---- ??:??:??.??? ", 18) == 0);
        rizorod_free(text[0]), text[0] = NULL;
    }

    /* Failures: the status returned and in the error, the message, the results left alone. */
    {
        const rizorod_block no_bytes = {0x300000, NULL, 3}, past_the_top = {0xffffffff, payload, 2};
        char past[64], wraps[80];
        const struct { rizorod_status got, want; const char* message; } cases[] = {
            {rizorod_decode((rizorod_interface)4, 1, acl, &text[0], &err[0]), RIZOROD_E_ARGUMENT,
             "not one of the four interfaces: 4"},
            {rizorod_decode(RIZOROD_DM, 0x2004, NULL, &text[1], &err[1]), RIZOROD_E_ARGUMENT, "prim is NULL"},
            {rizorod_decode_record(RIZOROD_DM, 0x2004, acl, 2, NULL, 0, NULL, &text[2], &err[2]),
             RIZOROD_E_DECODE, "dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 2"},
            {rizorod_decode_record(RIZOROD_L2CAP, 11, wr, 12, &part, 1, NULL, &text[3], &err[3]),
             RIZOROD_E_DECODE, "l2cap 0x000b L2CA_DATAWRITE_REQ_T: pointer at offset 8 = 0x00300000 needs "
                               "3 bytes; the image has 2 there"},
            {rizorod_decode_record(RIZOROD_L2CAP, 11, wr, 12, overlapping, 2, 0, &text[4], &err[4]),
             RIZOROD_E_ARGUMENT, "block 1 at 0x00300002 (1 byte) overlaps an earlier block"},
            {rizorod_interface_named("hci", &iface, &err[5]), RIZOROD_E_NOT_FOUND,
             "no interface is called \"hci\""},
            {rizorod_find_primitive(RIZOROD_SDP, 0x000d, &row, &err[6]), RIZOROD_E_NOT_FOUND,
             "sdp defines no code 0x000d"},
            {rizorod_primitive_at(RIZOROD_SDP, rizorod_primitive_count(RIZOROD_SDP), &row, &err[7]),
             RIZOROD_E_ARGUMENT, past},
            {rizorod_reader_open_file("no/such.cap", &reader, &err[8]), RIZOROD_E_IO,
             "cannot open no/such.cap: No such file or directory"},
            {rizorod_reader_open_text(NULL, 1, NULL, &reader, &err[9]), RIZOROD_E_ARGUMENT, "text is NULL"},
            {rizorod_reader_next(NULL, &entry, NULL, &err[10]), RIZOROD_E_ARGUMENT, "reader is NULL"},
            {rizorod_interface_named(NULL, &iface, &err[11]), RIZOROD_E_ARGUMENT, "name is NULL"},
            {rizorod_interface_named("dm", NULL, &err[12]), RIZOROD_E_ARGUMENT, "iface is NULL"},
            {rizorod_primitive_at(RIZOROD_DM, 0, NULL, &err[13]), RIZOROD_E_ARGUMENT, "row is NULL"},
            {rizorod_find_primitive(RIZOROD_DM, 0x2004, NULL, &err[14]), RIZOROD_E_ARGUMENT, "row is NULL"},
            {rizorod_decode(RIZOROD_DM, 0x2004, acl, NULL, &err[15]), RIZOROD_E_ARGUMENT, "text is NULL"},
            {rizorod_decode_record(RIZOROD_DM, 0x2004, NULL, 17, NULL, 0, NULL, &text[0], &err[16]),
             RIZOROD_E_ARGUMENT, "record is NULL"},
            {rizorod_decode_record(RIZOROD_DM, 0x2004, acl, 17, NULL, 1, NULL, &text[1], &err[17]),
             RIZOROD_E_ARGUMENT, "blocks is NULL"},
            {rizorod_decode_record(RIZOROD_DM, 0x2004, acl, 17, NULL, 0, NULL, NULL, &err[18]),
             RIZOROD_E_ARGUMENT, "text is NULL"},
            {rizorod_decode_record(RIZOROD_L2CAP, 11, wr, 12, &no_bytes, 1, NULL, &text[2], &err[19]),
             RIZOROD_E_ARGUMENT, "a block's bytes is NULL"},
            {rizorod_reader_open_file(NULL, &reader, &err[20]), RIZOROD_E_ARGUMENT, "path is NULL"},
            {rizorod_reader_open_file("no/such.cap", NULL, &err[21]), RIZOROD_E_ARGUMENT, "reader is NULL"},
            {rizorod_reader_open_text("", 0, NULL, NULL, &err[22]), RIZOROD_E_ARGUMENT, "reader is NULL"},
            {rizorod_decode_record(RIZOROD_L2CAP, 11, wr, 12, &past_the_top, 1, 0, &text[4], &err[23]),
             RIZOROD_E_ARGUMENT, "block 0 at 0xffffffff (2 bytes) runs past 0xffffffff"},
            {rizorod_decode_record(RIZOROD_L2CAP, 11, wr, 12, &wrapping, 1, 0, &text[5], &err[24]),
             RIZOROD_E_ARGUMENT, wraps},
        };
        sprintf(past, "index %u is past the %u codes of sdp", (unsigned)rizorod_primitive_count(RIZOROD_SDP),
                (unsigned)rizorod_primitive_count(RIZOROD_SDP));
        { /* SIZE_MAX in decimal, without a printf length modifier every C library knows */
            char digits[24], *d = digits + sizeof digits;
            size_t v = (size_t)-1;
            *--d = '\0';
            do *--d = (char)('0' + v % 10); while ((v /= 10) != 0);
            sprintf(wraps, "block 0 at 0x00300000 (%s bytes) runs past 0xffffffff", d);
        }
        for (k = 0; k < sizeof cases / sizeof cases[0]; ++k)
            if (cases[k].got != cases[k].want || err[k].status != cases[k].want ||
                strcmp(err[k].message, cases[k].message) != 0)
                fprintf(stderr, "case %u: %d, not %d: %s\n", (unsigned)k, cases[k].got, cases[k].want,
                        err[k].message),
                    ++failures;
        CHECK(!text[0] && !text[1] && !text[2] && !text[3] && !text[4] && !text[5]);
        CHECK(iface == RIZOROD_SDP && reader == NULL && row.name == found.name);
        /* Without an error to fill in, the same status. */
        CHECK(rizorod_decode_record(RIZOROD_L2CAP, 11, wr, 12, overlapping, 2, 0, &text[0], NULL) == RIZOROD_E_ARGUMENT &&
              !text[0]);
#ifndef _WIN32
        /* A folder opens but cannot be read: a read error at line 0. */
        CHECK(rizorod_reader_open_file(".", &reader, &err[0]) == RIZOROD_OK &&
              rizorod_reader_next(reader, &entry, NULL, &err[0]) == RIZOROD_E_IO &&
              strcmp(err[0].message, ".:0: read error") == 0);
        rizorod_reader_close(reader), reader = NULL;
#endif
    }

    /* Walks: the fields in printed order with their nesting, addresses' text forms, a whole
     * block's elements past its count as bytes; a callback that stops; the entry a reader read. */
    {
        static const uint8_t sent[] = {0x09, 0x20, 0x0a, 0x00, 0x02, 0, 0, 0, 0, 0x01, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        static const uint8_t handles[64] = {0x29, 0x00, 0x03, 0x00, 0x2a, 0x00, 0x05, 0x00};
        const rizorod_block block = {0x400100, handles, 64};
        CHECK(rizorod_walk_record(RIZOROD_DM, 0x2009, sent, sizeof sent, &block, 1, step, NULL, NULL) == RIZOROD_OK);
        CHECK(strcmp(trace, "type=8201 phandle=10 num_handles=2 handle_complete_ptr[ {HANDLE_COMPLETE_T handle=41 "
                            "num_completed=3 } {HANDLE_COMPLETE_T handle=42 num_completed=5 } ] handle_complete_ptr#8:56 ") == 0);
        trace[0] = '\0';
        CHECK(rizorod_walk_record(RIZOROD_DM, 0x2004, acl, 17, NULL, 0, step, NULL, NULL) == RIZOROD_OK);
        CHECK(strstr(trace, "bd_addr{BD_ADDR_T lap=10390323 uap=91 nap=2 } bd_addr:00:02:5B:9E:8B:33@0 enc_mode=1 ") != NULL);
        trace[0] = '\0', steps = 0, stop_after = 3;
        CHECK(rizorod_walk_record(RIZOROD_DM, 0x2009, sent, sizeof sent, &block, 1, step, NULL, NULL) == RIZOROD_STOPPED);
        CHECK(strcmp(trace, "type=8201 phandle=10 num_handles=2 ") == 0 && steps == 3);
        stop_after = 0;
        CHECK(rizorod_walk_record(RIZOROD_DM, 0x2009, sent, 20, &block, 1, step, NULL, &err[0]) == RIZOROD_E_DECODE &&
              strstr(err[0].message, "record needs 24 bytes; it has 20") != NULL);
        CHECK(rizorod_walk_record(RIZOROD_DM, 0x2009, sent, sizeof sent, &block, 1, NULL, NULL, &err[0]) == RIZOROD_E_ARGUMENT);
        strcpy(capture, "2024-05-14 09:41:15.406 dm 04 20 01 00  00 00 29 00  20 1f 6a 00 7c 00 12 00  00\n");
        CHECK(rizorod_reader_open_text(capture, strlen(capture), NULL, &reader, NULL) == 0);
        CHECK(rizorod_reader_walk(reader, step, NULL, &err[0]) == RIZOROD_E_ARGUMENT);  /* nothing read yet */
        trace[0] = '\0';
        CHECK(rizorod_reader_next(reader, &entry, NULL, NULL) == 0 && rizorod_reader_walk(reader, step, NULL, NULL) == 0);
        CHECK(strstr(trace, "handle=41 bd_addr{BD_ADDR_T lap=6954784 uap=124 nap=18 } bd_addr:00:12:7C:6A:1F:20@0 ") != NULL);
        rizorod_reader_close(reader);
        reader = NULL;
    }
    /* Every status has its name; the version macros are the library's version. */
    {
        static const char* const names[] = {"RIZOROD_E_UNKNOWN", "RIZOROD_E_INTERNAL", "RIZOROD_E_MEMORY", "RIZOROD_E_IO",
                                            "RIZOROD_E_CAPTURE", "RIZOROD_E_DECODE", "RIZOROD_E_NOT_FOUND",
                                            "RIZOROD_E_ARGUMENT", "RIZOROD_OK", "RIZOROD_END", "RIZOROD_STOPPED", "RIZOROD_E_UNKNOWN"};
        char version[32];
        int v;
        for (v = -8; v <= 3; ++v) CHECK(strcmp(rizorod_status_string((rizorod_status)v), names[v + 8]) == 0);
        sprintf(version, "%d.%d.%d", RIZOROD_VERSION_MAJOR, RIZOROD_VERSION_MINOR, RIZOROD_VERSION_PATCH);
        CHECK(strcmp(version, rizorod_version()) == 0);
    }

    /* The example session from its file: the first entry as read, then every decoding. */
    sprintf(capture, "%.4000s/session.cap", argv[1]);
    CHECK(rizorod_reader_open_file(capture, &reader, NULL) == 0);
    CHECK(rizorod_reader_next(reader, NULL, NULL, &err[0]) == RIZOROD_E_ARGUMENT &&
          strcmp(err[0].message, "entry is NULL") == 0);
    CHECK(rizorod_reader_next(reader, &entry, &text[0], NULL) == 0 && entry.code == 0 &&
          entry.record_length == 4 && entry.record[2] == 1 && entry.has_stamp && entry.stamp.has_date);
    CHECK(entry.stamp.year == 2024 && entry.stamp.month == 5 && entry.stamp.day == 14 && entry.stamp.hour == 9 &&
          entry.stamp.minute == 41 && entry.stamp.second == 7 && entry.stamp.millis == 112);
    add(got, sizeof got, text[0]);
    rizorod_free(text[0]);
    read_all(reader);
    CHECK(strcmp(got, slurp(argv[2], "session.expected", want, sizeof want)) == 0 && !*said);

    /* A bad capture from memory (copied: the caller's text is gone), under its name: one message
     * per bad entry, at its line, and the good entry after them decoded. */
    strcpy(capture, "dm 04 20 1a\n@zz 00\nhci 00 00\n00:00:00.000 dm 0x0000 00 00 01 00\ndm 04 20\n");
    CHECK(rizorod_reader_open_text(capture, strlen(capture), "bad.cap", &reader, NULL) == 0);
    memset(capture, 0, sizeof capture);
    got[0] = '\0';
    read_all(reader);
    CHECK(strcmp(said, "bad.cap:2: expected a memory address of 1 to 8 hexadecimal digits after '@', found \"zz\"\n"
                       "bad.cap:3: expected an interface (dm, l2cap, rfcomm or sdp), found \"hci\"\n"
                       "bad.cap:5: dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 2\n") == 0);
    CHECK(strcmp(got, "---- 00:00:00.000 ------------------\nDM_AM_REGISTER_REQ_T\n\ttype =  00\n"
                      "\tphandle =  01\n") == 0);
    /* JSON: an offline record with its stamp; a code the interface does not define; then each
     * item of the bad capture as decode --format json writes it, bad lines and bad entries too. */
    {
        static const char* const items[] = {
            "{\"schema\":2,\"file\":\"bad.cap\",\"line\":2,\"error\":\"expected a memory address of 1 to 8 hexadecimal "
            "digits after '@', found \\\"zz\\\"\"}",
            "{\"schema\":2,\"file\":\"bad.cap\",\"line\":3,\"error\":\"expected an interface (dm, l2cap, rfcomm or sdp), "
            "found \\\"hci\\\"\"}",
            "{\"schema\":2,\"file\":\"bad.cap\",\"line\":4,\"time\":\"00:00:00.000\",\"interface\":\"dm\",\"code\":0,"
            "\"name\":\"DM_AM_REGISTER_REQ_T\",\"fields\":{\"type\":0,\"phandle\":1}}",
            "{\"schema\":2,\"file\":\"bad.cap\",\"line\":5,\"interface\":\"dm\",\"code\":8196,\"name\":"
            "\"DM_ACL_CONNECT_CFM_T\",\"error\":\"dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 2\"}"};
        rizorod_status s;
        CHECK(rizorod_decode_record_json(RIZOROD_DM, 0x2004, acl, 17, NULL, 0, &stamp, &text[0], NULL) == 0);
        CHECK(text[0] && strcmp(text[0], "{\"schema\":2,\"time\":\"09:41:07.118\",\"interface\":\"dm\",\"code\":8196,"
                                         "\"name\":\"DM_ACL_CONNECT_CFM_T\",\"fields\":{\"type\":8196,\"phandle\":26,"
                                         "\"status\":0,\"handle\":41,\"bd_addr\":{\"record\":\"BD_ADDR_T\",\"lap\":10390323,"
                                         "\"uap\":91,\"nap\":2},\"bd_addr.text\":\"00:02:5B:9E:8B:33\",\"enc_mode\":1}}") == 0);
        CHECK(rizorod_decode_record_json(RIZOROD_L2CAP, 0x7777, wr, 12, NULL, 0, NULL, &text[1], NULL) == 0);
        CHECK(text[1] && strcmp(text[1], "{\"schema\":2,\"interface\":\"l2cap\",\"code\":30583,\"name\":null,"
                                         "\"fields\":null}") == 0);
        CHECK(rizorod_decode_record_json(RIZOROD_L2CAP, 11, wr, 12, &part, 1, NULL, &text[2], &err[0]) == RIZOROD_E_DECODE &&
              !text[2] && strstr(err[0].message, "0x00300000") != NULL);
        CHECK(rizorod_decode_record_json(RIZOROD_DM, 0x2004, acl, 17, NULL, 0, NULL, NULL, &err[0]) == RIZOROD_E_ARGUMENT);
        rizorod_free(text[0]);
        rizorod_free(text[1]);
        text[0] = text[1] = NULL;
        strcpy(capture, "dm 04 20 1a\n@zz 00\nhci 00 00\n00:00:00.000 dm 0x0000 00 00 01 00\ndm 04 20\n");
        CHECK(rizorod_reader_open_text(capture, strlen(capture), "bad.cap", &reader, NULL) == 0);
        CHECK(rizorod_reader_json(reader, &text[0], &err[0]) == RIZOROD_E_ARGUMENT && !text[0]);
        for (i = 0; i < 4; ++i) {
            s = rizorod_reader_next(reader, &entry, NULL, NULL);
            CHECK(s == (i < 2 ? RIZOROD_E_CAPTURE : RIZOROD_OK));
            CHECK(rizorod_reader_json(reader, &text[0], NULL) == RIZOROD_OK && text[0] && strcmp(text[0], items[i]) == 0);
            rizorod_free(text[0]);
            text[0] = NULL;
        }
        CHECK(rizorod_reader_next(reader, &entry, NULL, NULL) == RIZOROD_END);
        CHECK(rizorod_reader_json(reader, &text[0], &err[0]) == RIZOROD_E_ARGUMENT && !text[0]);
        rizorod_reader_close(reader);
    }
    printf("%s\n", failures ? "FAILED" : "passed");
    return failures != 0;
}
