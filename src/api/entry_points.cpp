// The eleven exported entry points. (Being written: placeholder bodies.)
#include "swathlink/swathlink.h"

extern "C" {
int32_t InitPrinter(void) { return 1; }
int32_t StartPrint(const JobProp *) { return 0; }
int32_t PrintALine(const uint8_t *, uint32_t) { return 1; }
int32_t WriteRipData(const uint8_t *d, uint32_t n) { return PrintALine(d, n); }
int32_t EndPrint(void) { return 1; }
int32_t EndRipData(void) { return EndPrint(); }
int32_t AbortPrint(void) { return 1; }
int32_t PausePrint(void) { return 1; }
int32_t ContinuePrint(void) { return 1; }
int32_t ClosePrint(void) { return 1; }
int32_t ExitPrinter(void) { return ClosePrint(); }
}
