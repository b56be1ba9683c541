// winhost: a Windows host program that drives swathlink.dll the way a RIP
// does: LoadLibraryA, GetProcAddress of the eleven entry points, one whole
// job. A crash ends it with its own exit code, so it never looks like a
// pass. With --watch-share it instead watches the heartbeat of a job that
// another process runs.
//
// Exit codes: 0 done; 2 bad arguments; 3 DLL or entry point missing;
// 4..8 InitPrinter, StartPrint, PrintALine, EndPrint, ClosePrint returned 0;
// 9 no heartbeat seen; 70 crashed.
#include <getopt.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "job_pattern.h"
#include "swathlink_version.h"

namespace {

constexpr int kCrashed = 70;

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS *info) {
    std::fprintf(stderr, "winhost: unhandled exception 0x%08lx\n",
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    std::fflush(stderr);
    ExitProcess(kCrashed);
    return EXCEPTION_EXECUTE_HANDLER;
}

using VoidFn = int32_t (*)();
using StartFn = int32_t (*)(const JobProp *);
using LineFn = int32_t (*)(const uint8_t *, uint32_t);

struct Entries {
    VoidFn InitPrinter, EndPrint, EndRipData, AbortPrint, PausePrint, ContinuePrint, ClosePrint, ExitPrinter;
    StartFn StartPrint;
    LineFn PrintALine, WriteRipData;
};

template <typename Fn>
bool Resolve(HMODULE dll, const char *name, Fn *fn) {
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
    if (!*fn) std::fprintf(stderr, "winhost: %s not exported\n", name);
    return *fn != nullptr;
}

bool ResolveAll(HMODULE dll, Entries *e) {
    bool ok = Resolve(dll, "InitPrinter", &e->InitPrinter);
    ok &= Resolve(dll, "StartPrint", &e->StartPrint);
    ok &= Resolve(dll, "PrintALine", &e->PrintALine);
    ok &= Resolve(dll, "WriteRipData", &e->WriteRipData);
    ok &= Resolve(dll, "EndPrint", &e->EndPrint);
    ok &= Resolve(dll, "EndRipData", &e->EndRipData);
    ok &= Resolve(dll, "AbortPrint", &e->AbortPrint);
    ok &= Resolve(dll, "PausePrint", &e->PausePrint);
    ok &= Resolve(dll, "ContinuePrint", &e->ContinuePrint);
    ok &= Resolve(dll, "ClosePrint", &e->ClosePrint);
    ok &= Resolve(dll, "ExitPrinter", &e->ExitPrinter);
    return ok;
}

struct Options {
    sl_wine::JobShape job;
    uint32_t holdMs = 0;         // pause this long halfway through the lines
    bool watchShare = false;     // watch another process's heartbeat instead
    bool lockStatus = false;     // make the status file read-only, hidden and system first
    bool expectRefusal = false;  // StartPrint is expected to return 0
    bool badLine = false;        // hand the DLL a line pointer that is not mapped: it must crash
    bool aliases = false;        // WriteRipData, EndRipData and ExitPrinter instead
    bool help = false;
    bool version = false;
};

const char kUsage[] =
    "usage: winhost [options]\n"
    "  --xdpi N, --ydpi N, --width N, --colors N, --lines N, --seed N   the job's shape\n"
    "  --hold-ms MS       pause this long halfway through the lines\n"
    "  --watch-share      watch another process's heartbeat instead of printing\n"
    "  --lock-status      make the status file read-only, hidden and system first\n"
    "  --expect-refusal   StartPrint is expected to return 0\n"
    "  --bad-line         hand the DLL an unmapped line (it must crash)\n"
    "  --aliases          WriteRipData, EndRipData and ExitPrinter instead\n"
    "  --help, -h         print this help and exit\n"
    "  --version          print the version and exit\n"
    "A value follows its option or joins it with '='; -- ends the options.\n";

// A decimal number filling the whole text, within 32 bits.
bool Number(const char *text, uint32_t *v) {
    if (!text || *text < '0' || *text > '9') return false;
    char *end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(text, &end, 10);
    if (*end != '\0' || errno != 0 || n > UINT32_MAX) return false;
    *v = static_cast<uint32_t>(n);
    return true;
}

enum OptionId {
    kHelp = 'h',
    kVersion = 256,
    kXdpi,
    kYdpi,
    kWidth,
    kColors,
    kLines,
    kSeed,
    kHold,
    kWatch,
    kLock,
    kRefusal,
    kBadLine,
    kAliases
};

const option kOptions[] = {
    {"xdpi", required_argument, nullptr, kXdpi},
    {"ydpi", required_argument, nullptr, kYdpi},
    {"width", required_argument, nullptr, kWidth},
    {"colors", required_argument, nullptr, kColors},
    {"lines", required_argument, nullptr, kLines},
    {"seed", required_argument, nullptr, kSeed},
    {"hold-ms", required_argument, nullptr, kHold},
    {"watch-share", no_argument, nullptr, kWatch},
    {"lock-status", no_argument, nullptr, kLock},
    {"expect-refusal", no_argument, nullptr, kRefusal},
    {"bad-line", no_argument, nullptr, kBadLine},
    {"aliases", no_argument, nullptr, kAliases},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// One option that getopt_long returned; false when its value is bad.
bool ApplyOption(int id, const char *value, Options *o) {
    switch (id) {
    case kXdpi: return Number(value, &o->job.xdpi);
    case kYdpi: return Number(value, &o->job.ydpi);
    case kWidth: return Number(value, &o->job.width);
    case kColors: return Number(value, &o->job.colors);
    case kLines: return Number(value, &o->job.lines);
    case kSeed: return Number(value, &o->job.seed);
    case kHold: return Number(value, &o->holdMs);
    case kWatch: o->watchShare = true; return true;
    case kLock: o->lockStatus = true; return true;
    case kRefusal: o->expectRefusal = true; return true;
    case kBadLine: o->badLine = true; return true;
    case kAliases: o->aliases = true; return true;
    case kHelp: o->help = true; return true;
    case kVersion: o->version = true; return true;
    default: return false;
    }
}

bool ParseOptions(int argc, char **argv, Options *o) {
    opterr = 0;
    for (;;) {
        const int id = getopt_long(argc, argv, ":h", kOptions, nullptr);
        if (id == -1) break;
        if (!ApplyOption(id, optarg, o)) {
            std::fprintf(stderr, "winhost: bad argument %s\n%s", argv[optind - 1], kUsage);
            return false;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "winhost: unexpected argument %s\n%s", argv[optind], kUsage);
        return false;
    }
    return true;
}

uint32_t HeartbeatWord(const void *block) {
    uint32_t v;
    std::memcpy(&v, static_cast<const uint8_t *>(block) + 4, sizeof v);
    return v;
}

// Opens "ShareFile" as a companion program would and waits for its
// heartbeat word to change; both waits are bounded.
int WatchShare() {
    HANDLE mapping = nullptr;
    for (int i = 0; i < 200 && !mapping; ++i) {
        mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "ShareFile");
        if (!mapping) Sleep(50);
    }
    if (!mapping) {
        std::fprintf(stderr, "winhost: ShareFile not found\n");
        return 9;
    }
    const void *view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 8);
    if (!view) return 9;
    const uint32_t first = HeartbeatWord(view);
    for (int i = 0; i < 400; ++i) {
        if (HeartbeatWord(view) != first) {
            std::printf("heartbeat %lu -> %lu\n", static_cast<unsigned long>(first),
                        static_cast<unsigned long>(HeartbeatWord(view)));
            return 0;
        }
        Sleep(25);
    }
    std::fprintf(stderr, "winhost: heartbeat stayed %lu\n", static_cast<unsigned long>(first));
    return 9;
}

void LockStatusFile() {
    SetFileAttributesA("c:\\Prnlog\\printcfg.cfg",
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    std::printf("locked-attributes %lu\n",
                static_cast<unsigned long>(GetFileAttributesA("c:\\Prnlog\\printcfg.cfg")));
}

// What a companion sees of the hidden folder after the job.
void ReportFolder() {
    std::printf("folder-attributes %lu\n", static_cast<unsigned long>(GetFileAttributesA("c:\\Prnlog")));
    std::printf("status-attributes %lu\n",
                static_cast<unsigned long>(GetFileAttributesA("c:\\Prnlog\\printcfg.cfg")));
}

int RunJob(const Entries &e, const Options &o) {
    if (e.InitPrinter() != 1) return 4;
    const JobProp job = sl_wine::MakeJobProp(o.job);
    if (e.StartPrint(&job) != 1) return o.expectRefusal ? 0 : 5;
    if (o.expectRefusal) return 5;
    if (o.badLine) {
        const auto *unmapped = reinterpret_cast<const uint8_t *>(uintptr_t{16});
        for (uint32_t n = 0; n < o.job.lines; ++n) e.PrintALine(unmapped, sl_wine::LineBytes(o.job));
        return 6;
    }
    const LineFn printLine = o.aliases ? e.WriteRipData : e.PrintALine;
    const VoidFn endJob = o.aliases ? e.EndRipData : e.EndPrint;
    const VoidFn closeJob = o.aliases ? e.ExitPrinter : e.ClosePrint;
    std::vector<uint8_t> line;
    for (uint32_t n = 0; n < o.job.lines; ++n) {
        if (o.holdMs && n == o.job.lines / 2) Sleep(o.holdMs);
        sl_wine::MakeLine(o.job, n, line);
        if (printLine(line.data(), static_cast<uint32_t>(line.size())) != 1) return 6;
    }
    if (endJob() != 1) return 7;
    // As a RIP does: close at once after the last line.
    if (closeJob() != 1) return 8;
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(EndOnCrash);
    Options o;
    if (!ParseOptions(argc, argv, &o)) return 2;
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (o.version) {
        std::printf("winhost %s\n", SWATHLINK_VERSION);
        return 0;
    }
    if (o.watchShare) return WatchShare();

    HMODULE dll = LoadLibraryA("swathlink.dll");
    if (!dll) {
        std::fprintf(stderr, "winhost: swathlink.dll not loaded (%lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return 3;
    }
    Entries e{};
    if (!ResolveAll(dll, &e)) return 3;
    if (o.lockStatus) LockStatusFile();
    const int rc = RunJob(e, o);
    ReportFolder();
    FreeLibrary(dll);
    std::printf("winhost: exit %d\n", rc);
    return rc;
}
