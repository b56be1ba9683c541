/*
 * swathlink - printer driver for a wide-format inkjet printer with one
 * eight-channel piezo head, driven by a control board over TCP.
 *
 * A raster application loads the library and calls, per job:
 *   InitPrinter, StartPrint, PrintALine (once per raster line), EndPrint,
 *   ClosePrint.
 * AbortPrint, PausePrint and ContinuePrint may be called from any thread at
 * any time. WriteRipData, EndRipData and ExitPrinter are aliases.
 *
 * Every entry point returns 1 for success (or for a call that is ignored in
 * the current state) and 0 for failure.
 */
#ifndef SWATHLINK_H
#define SWATHLINK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)
/* Job properties, passed by pointer to StartPrint. Little-endian, 48 bytes. */
typedef struct JobProp {
    uint32_t Signature;    /* free tag from the host, only traced */
    uint32_t XDPI;         /* horizontal resolution */
    uint32_t YDPI;         /* vertical resolution, a multiple of 360 */
    uint32_t BytesPerLine; /* bytes of one colour plane of one line */
    uint32_t Height;       /* raster lines in the image */
    uint32_t Width;        /* pixels per line, at least 8 */
    uint32_t PaperWidth;   /* carried and traced only */
    uint16_t Colors;       /* planes per line, 1..6: Y, M, C, K, LC, LM */
    uint16_t Bits;         /* ignored on input */
    uint32_t Pass;         /* ignored on input */
    uint32_t VsdMode;      /* drop-size waveform mode */
    uint32_t Reserved;     /* 0xABCE / 0xABCF: VsdMode is the dot-size class */
    uint32_t Reserved2;    /* not read */
} JobProp;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(JobProp) == 48, "JobProp is a 48-byte record");
#else
_Static_assert(sizeof(JobProp) == 48, "JobProp is a 48-byte record");
#endif

int32_t InitPrinter(void);
int32_t StartPrint(const JobProp *pProp);
int32_t PrintALine(const uint8_t *data, uint32_t size);
int32_t WriteRipData(const uint8_t *data, uint32_t size);
int32_t EndPrint(void);
int32_t EndRipData(void);
int32_t AbortPrint(void);
int32_t PausePrint(void);
int32_t ContinuePrint(void);
int32_t ClosePrint(void);
int32_t ExitPrinter(void);

#ifdef __cplusplus
}
#endif

#endif /* SWATHLINK_H */
