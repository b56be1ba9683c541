// winhost: a Windows host program that drives swathlink.dll the way a RIP
// does: LoadLibraryA, GetProcAddress of the eleven entry points, one whole
// job. A crash ends it with its own exit code, so it never looks like a
// pass. With --watch-share it instead watches the heartbeat of a job that
// another process runs.
//
// Exit codes: 0 done; 2 bad arguments; 3 DLL or entry point missing;
// 4..8 InitPrinter, StartPrint, PrintALine, EndPrint, ClosePrint returned 0;
// 9 no heartbeat seen; 70 crashed.
#include <windows.h>

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
    VoidFn InitPrinter, EndPrint, EndRipData, AbortPrint, PausePrint, ContinuePrint, ClosePrint,
        ExitPrinter;
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
    uint32_t holdMs = 0;      // pause this long halfway through the lines
    bool watchShare = false;  // watch another process's heartbeat instead
    bool lockStatus = false;  // make the status file read-only, hidden and system first
    bool expectRefusal = false;  // StartPrint is expected to return 0
    bool badLine = false;  // hand the DLL a line pointer that is not mapped: it must crash
    bool aliases = false;  // WriteRipData, EndRipData and ExitPrinter instead
};

bool ParseOptions(int argc, char **argv, Options *o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto number = [&](uint32_t *v) {
            if (i + 1 >= argc) return false;
            *v = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
            return true;
        };
        bool ok = true;
        if (a == "--xdpi") ok = number(&o->job.xdpi);
        else if (a == "--ydpi") ok = number(&o->job.ydpi);
        else if (a == "--width") ok = number(&o->job.width);
        else if (a == "--colors") ok = number(&o->job.colors);
        else if (a == "--lines") ok = number(&o->job.lines);
        else if (a == "--seed") ok = number(&o->job.seed);
        else if (a == "--hold-ms") ok = number(&o->holdMs);
        else if (a == "--watch-share") o->watchShare = true;
        else if (a == "--lock-status") o->lockStatus = true;
        else if (a == "--expect-refusal") o->expectRefusal = true;
        else if (a == "--bad-line") o->badLine = true;
        else if (a == "--aliases") o->aliases = true;
        else ok = false;
        if (!ok) {
            std::fprintf(stderr, "winhost: bad argument %s\n", a.c_str());
            return false;
        }
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
    std::printf("folder-attributes %lu\n",
                static_cast<unsigned long>(GetFileAttributesA("c:\\Prnlog")));
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
        for (uint32_t n = 0; n < o.job.lines; ++n)
            e.PrintALine(unmapped, sl_wine::LineBytes(o.job));
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
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("winhost %s\n", SWATHLINK_VERSION);
        return 0;
    }
    Options o;
    if (!ParseOptions(argc, argv, &o)) return 2;
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
