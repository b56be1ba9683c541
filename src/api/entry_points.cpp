// The eleven exported entry points. They stay thin: the work lives in the
// job functions of this folder.
#include "api/job_close.h"
#include "api/job_start.h"
#include "api/job_state.h"
#include "api/line_input.h"
#include "files/log_folder.h"
#include "files/status_file.h"
#include "link/tcp_link.h"
#include "platform/platform.h"
#include "swathlink/swathlink.h"
#include "swathlink_version.h"

namespace sl {
namespace {
// The library's protocol version, as its traces have always shown it; the
// release (SWATHLINK_VERSION, set by the build) is traced beside it.
constexpr int kLibraryVersion = 203;

void InitSession() {
    ResetLibraryState();
    gSession.languageId = plat_default_locale();
    PrepareLogFolder();
    const PlatTime t = plat_local_time();
    gSession.startTime = t;
    sl_trace("API_InitPrinter version:%d swathlink %s %d-%d-%d %d:%d:%d\n", kLibraryVersion, SWATHLINK_VERSION,
             t.year, t.month, t.day, t.hour, t.minute, t.second);
    uint32_t pc = 0, board = 0;
    PrintCfgGetAddresses(&pc, &board);
    IPValueToText(pc, gAddresses.localIp);
    IPValueToText(board, gAddresses.boardIp);
}
}  // namespace
}  // namespace sl

using namespace sl;

extern "C" {

int32_t InitPrinter(void) {
    if (gRun.started.load() == 1) return 1;  // a running job keeps its session
    InitSession();
    return 1;
}

int32_t StartPrint(const JobProp *pProp) { return StartPrintJob(pProp); }
int32_t PrintALine(const uint8_t *data, uint32_t size) { return PrintLines(data, size); }
int32_t WriteRipData(const uint8_t *data, uint32_t size) { return PrintLines(data, size); }
int32_t EndPrint(void) { return EndPrintJob(); }
int32_t EndRipData(void) { return EndPrintJob(); }

int32_t AbortPrint(void) {
    RequestAbort();
    return 1;
}

int32_t PausePrint(void) {
    RequestPause(true);
    return 1;
}

int32_t ContinuePrint(void) {
    RequestPause(false);
    return 1;
}

int32_t ClosePrint(void) { return ClosePrintJob(); }
int32_t ExitPrinter(void) { return ClosePrintJob(); }

}  // extern "C"
