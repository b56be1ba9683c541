// Loading the driver on Linux: dlopen and dlsym, as a raster application
// does. The only file of the program that knows how a library is loaded.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "driver.h"
#include "swathlink_version.h"

namespace swathprint {

namespace {

#define SWATHPRINT_TEXT(x) #x
#define SWATHPRINT_NUMBER_TEXT(x) SWATHPRINT_TEXT(x)
// The soname: a library of another major version has another ABI.
constexpr const char *kLibraryName = "libswathlink.so." SWATHPRINT_NUMBER_TEXT(SWATHLINK_VERSION_MAJOR);
// Where the install puts the library, seen from the program's folder
// (../lib, or ../lib/<multiarch> under /usr).
constexpr const char *kLibDirFromProgram = SWATHPRINT_LIBDIR_FROM_BINDIR;

std::string ExecutableDir() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Where to look, in order: beside the program, in the install's library
// folder relative to the program (so a moved or copied prefix still works),
// then the loader's own search by soname, which also reads the program's run
// path (in the build tree, the folder the library is built in).
std::vector<std::string> Candidates(const std::string &explicit_path) {
    if (!explicit_path.empty()) return {explicit_path};
    if (const char *env = std::getenv("SWATHLINK_LIBRARY"); env && *env) return {env};
    const std::string dir = ExecutableDir();
    return {dir + "/" + kLibraryName, dir + "/" + kLibDirFromProgram + "/" + kLibraryName, kLibraryName};
}

template <typename Fn>
bool Find(void *handle, const char *name, Fn *fn, std::string *error) {
    *fn = reinterpret_cast<Fn>(dlsym(handle, name));
    if (*fn) return true;
    *error = std::string("the library has no entry point ") + name;
    return false;
}

bool FindAll(Driver *d, std::string *error) {
    void *h = d->handle;
    return Find(h, "InitPrinter", &d->InitPrinter, error) && Find(h, "StartPrint", &d->StartPrint, error) &&
           Find(h, "PrintALine", &d->PrintALine, error) && Find(h, "WriteRipData", &d->WriteRipData, error) &&
           Find(h, "EndPrint", &d->EndPrint, error) && Find(h, "EndRipData", &d->EndRipData, error) &&
           Find(h, "AbortPrint", &d->AbortPrint, error) && Find(h, "PausePrint", &d->PausePrint, error) &&
           Find(h, "ContinuePrint", &d->ContinuePrint, error) &&
           Find(h, "ClosePrint", &d->ClosePrint, error) && Find(h, "ExitPrinter", &d->ExitPrinter, error);
}

}  // namespace

bool LoadDriver(const std::string &explicit_path, Driver *driver, std::string *error) {
    std::string tried;
    for (const std::string &path : Candidates(explicit_path)) {
        void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char *why = dlerror();
            tried += (tried.empty() ? "" : "; ") + (why ? std::string(why) : path + ": not loadable");
            continue;
        }
        *driver = Driver{};
        driver->handle = handle;
        driver->path = path;
        if (FindAll(driver, error)) return true;
        *error += " (" + path + ")";
        dlclose(handle);
        *driver = Driver{};
        return false;
    }
    *error = "cannot load the driver library (" + tried + ")";
    return false;
}

}  // namespace swathprint
