// The eleven exported entry points. They act on one process-wide default
// Printer, and turn each operation's Status into the host's 1 or 0, the trace
// line and, where the operator must see it, the message box: in one place.
#include "api/default_printer.h"
#include "api/printer.h"
#include "platform/platform.h"
#include "swathlink/swathlink.h"

namespace sl {

namespace {

// What the operator sees of a failed StartPrint, by code; the second text is
// the wording for locale 2052.
struct OperatorMessage {
    StatusCode code;
    const char *caption;
    const char *text;
    const char *text2052;
};

constexpr OperatorMessage kStartMessages[] = {
    {StatusCode::Refused, "Error", "Job properties not supported", "Job properties not supported"},
    {StatusCode::NoMemory, "Error", "Memory Fail", "Memory fail"},
    {StatusCode::NoBoard, "Error Tip", "Connect fail !", "connect fail !"},
};

int32_t StartResult(const Status &s, uint32_t languageId) {
    if (s.ok()) return 1;
    sl_trace("StartPrint: %s\n", s.reason);
    for (const OperatorMessage &m : kStartMessages) {
        if (m.code == s.code) plat_message_box(m.caption, languageId == 2052 ? m.text2052 : m.text);
    }
    return 0;
}

int32_t LineResult(const Status &s) { return s.ok() ? 1 : 0; }

// A job the board stopped, or whose swaths did not all arrive, must not
// look printed.
int32_t CloseResult(const Status &s) {
    if (s.ok()) return 1;
    sl_trace("ClosePrint: %s\n", s.reason);
    return 0;
}

}  // namespace

swathlink::Printer &DefaultPrinter() {
    // Made on first use and kept until the process ends: AbortPrint may come
    // from any thread at any time, so the printer it reaches never goes away.
    static swathlink::Printer *const printer = new swathlink::Printer();
    return *printer;
}

}  // namespace sl

using sl::DefaultPrinter;

extern "C" {

int32_t InitPrinter(void) {
    DefaultPrinter().Init();
    return 1;
}

int32_t StartPrint(const JobProp *pProp) {
    swathlink::Printer &p = DefaultPrinter();
    if (!pProp)
        return sl::StartResult(sl::Status::Bad(sl::StatusCode::Refused, "no job properties"), p.LanguageId());
    return sl::StartResult(p.StartPrint(*pProp), p.LanguageId());
}

int32_t PrintALine(const uint8_t *data, uint32_t size) {
    return sl::LineResult(DefaultPrinter().PrintLines(data, size));
}
int32_t WriteRipData(const uint8_t *data, uint32_t size) {
    return sl::LineResult(DefaultPrinter().PrintLines(data, size));
}

int32_t EndPrint(void) {
    DefaultPrinter().EndPrint();
    return 1;
}

int32_t EndRipData(void) { return EndPrint(); }

int32_t AbortPrint(void) {
    DefaultPrinter().Abort();
    return 1;
}

int32_t PausePrint(void) {
    DefaultPrinter().Pause();
    return 1;
}

int32_t ContinuePrint(void) {
    DefaultPrinter().Continue();
    return 1;
}

int32_t ClosePrint(void) { return sl::CloseResult(DefaultPrinter().Close()); }

int32_t ExitPrinter(void) { return ClosePrint(); }

}  // extern "C"
