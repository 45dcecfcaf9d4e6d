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

int main(int argc, char** argv) {
    /* DM_ACL_CONNECT_CFM_T, no pointers; L2CA_DATAWRITE_REQ_T, a pointer to 3 bytes at 0x300000. */
    static const uint8_t acl[] = {0x04, 0x20, 0x1a, 0, 0, 0, 0x29, 0, 0x33, 0x8b, 0x9e, 0, 0x5b, 0,
                                  0x02, 0, 0x01};
    static const uint8_t wr[] = {0x0b, 0, 0x41, 0, 3, 0, 0, 0, 0, 0, 0x30, 0};
    static const uint8_t payload[] = {1, 2, 3};
    const rizorod_block full = {0x300000, payload, 3}, part = {0x300000, payload, 2};
    const rizorod_block overlapping[] = {{0x300000, payload, 3}, {0x300002, payload, 1}};
    const rizorod_timestamp stamp = {9, 41, 7, 118, 0, 0, 0, 0};
    rizorod_error err[24];
    char* text[5] = {NULL};
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
        char past[64];
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
             RIZOROD_E_ARGUMENT, "block 1 at 0x00300002 (1 byte) overlaps an earlier block or runs past "
                                 "0xffffffff"},
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
             RIZOROD_E_ARGUMENT, "block 0 at 0xffffffff (2 bytes) overlaps an earlier block or runs past "
                                 "0xffffffff"},
        };
        sprintf(past, "index %u is past the %u codes of sdp", (unsigned)rizorod_primitive_count(RIZOROD_SDP),
                (unsigned)rizorod_primitive_count(RIZOROD_SDP));
        for (k = 0; k < sizeof cases / sizeof cases[0]; ++k)
            if (cases[k].got != cases[k].want || err[k].status != cases[k].want ||
                strcmp(err[k].message, cases[k].message) != 0)
                fprintf(stderr, "case %u: %d, not %d: %s\n", (unsigned)k, cases[k].got, cases[k].want,
                        err[k].message),
                    ++failures;
        CHECK(!text[0] && !text[1] && !text[2] && !text[3] && !text[4]);
        CHECK(iface == RIZOROD_SDP && reader == NULL && row.name == found.name);
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
    printf("%s\n", failures ? "FAILED" : "passed");
    return failures != 0;
}
