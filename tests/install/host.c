/* A raster application in miniature, built against an installed swathlink
 * (through pkg-config or find_package): it names the board in the status
 * file of the hidden folder ($SWATHLINK_PRNLOG), prints one small job and
 * checks every entry point's result.
 *
 * usage: host BOARD-ADDRESS   (the PC is 127.0.0.1)
 * Exit 0 when the job printed; 1 on a bad call; 2 on bad usage. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <swathlink/swathlink.h>

enum { kRecordSize = 288, kMarkAt = 156, kPcAt = 160, kBoardAt = 164, kSummedBytes = 280, kSumAt = 284 };
enum { kWidth = 720, kLines = 240, kColors = 4 };

static const uint8_t kActiveTag[16] = {0x63, 0x26, 0x04, 0x1C, 0x03, 0x05, 0x09, 0x2D,
                                       0x04, 0x20, 0x09, 0x04, 0x03, 0x5E, 0x02, 0x03};

static void put_le32(uint8_t *at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = (uint8_t)(v >> (8 * i));
}

static int parse_ipv4(const char *text, uint32_t *address) {
    unsigned a, b, c, d;
    char tail;
    if (sscanf(text, "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4 || a > 255 || b > 255 || c > 255 || d > 255)
        return 0;
    *address = (a << 24) | (b << 16) | (c << 8) | d;
    return 1;
}

/* The status file's address record: active tag, address mark, the PC's and
 * the board's addresses, and the record's seeded folded sum. */
static int write_address_record(const char *folder, uint32_t pc, uint32_t board) {
    uint8_t rec[kRecordSize] = {0};
    memcpy(rec, kActiveTag, sizeof kActiveTag);
    put_le32(rec + kMarkAt, 0xA6CF9968u);
    put_le32(rec + kPcAt, pc);
    put_le32(rec + kBoardAt, board);
    uint64_t sum = 0x7800;
    for (int i = 0; i < kSummedBytes; i += 2) sum += rec[i] | (rec[i + 1] << 8);
    while (sum > 0xFFFF) sum = (sum >> 16) + (sum & 0xFFFF);
    rec[kSumAt] = (uint8_t)sum;
    rec[kSumAt + 1] = (uint8_t)(sum >> 8);

    char path[4096];
    snprintf(path, sizeof path, "%s/printcfg.cfg", folder);
    FILE *f = fopen(path, "wb");
    if (!f) return 0;
    const int ok = fwrite(rec, 1, sizeof rec, f) == sizeof rec;
    return fclose(f) == 0 && ok;
}

static int expect(const char *call, int32_t result) {
    if (result == 1) return 1;
    fprintf(stderr, "host: %s returned %d\n", call, (int)result);
    return 0;
}

int main(int argc, char **argv) {
    const char *folder = getenv("SWATHLINK_PRNLOG");
    uint32_t pc = 0x7F000001u, board = 0;
    if (argc != 2 || !folder || !*folder || !parse_ipv4(argv[1], &board)) {
        fprintf(stderr, "usage: SWATHLINK_PRNLOG=FOLDER host BOARD-ADDRESS\n");
        return 2;
    }
    if (!write_address_record(folder, pc, board)) {
        fprintf(stderr, "host: cannot write %s/printcfg.cfg\n", folder);
        return 1;
    }

    JobProp job;
    memset(&job, 0, sizeof job);
    job.XDPI = 360;
    job.YDPI = 720;
    job.Width = kWidth;
    job.BytesPerLine = kWidth / 4; /* 2 bits per pixel */
    job.Height = kLines;
    job.Colors = kColors;

    /* Every plane a band of the largest dots, one plane at a time down the page. */
    static uint8_t line[kColors * (kWidth / 4)];
    if (!expect("InitPrinter", InitPrinter()) || !expect("StartPrint", StartPrint(&job))) return 1;
    for (int y = 0; y < kLines; ++y) {
        memset(line, 0, sizeof line);
        const int plane = y * kColors / kLines;
        memset(line + plane * (kWidth / 4), 0xFF, kWidth / 4);
        if (!expect("PrintALine", PrintALine(line, sizeof line))) {
            ClosePrint();
            return 1;
        }
    }
    if (!expect("EndPrint", EndPrint()) || !expect("ClosePrint", ClosePrint())) return 1;
    printf("host: printed %d lines of %d pixels\n", kLines, kWidth);
    return 0;
}
