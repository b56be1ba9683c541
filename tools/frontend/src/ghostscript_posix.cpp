// PDF, PostScript and EPS pages: Ghostscript renders them in a process of
// its own, at the job's resolution, as a stream of CMYK PAM pages (grey PGM
// when asked) on a pipe that is read one row at a time. No page is ever held whole and nothing is
// written to a file: its messages go to an anonymous memory file, read once
// it has ended. The process is killed when the document is closed early.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "readers.h"

namespace frontend {

namespace {

// Ghostscript may think a long while about one band of a complex page; a
// process that writes nothing for this long is taken as stuck.
constexpr int kSilenceLimitMs = 120'000;
constexpr size_t kMessageBytes = 4096;

std::string FirstErrorLine(int message_fd) {
    char text[kMessageBytes + 1] = {};
    const ssize_t n = pread(message_fd, text, kMessageBytes, 0);
    if (n <= 0) return "";
    const std::string all(text, size_t(n));
    size_t at = all.find("Error");
    if (at == std::string::npos) at = all.find_first_not_of(" \r\n*");
    if (at == std::string::npos) return "";
    const size_t start = all.rfind('\n', at);
    const size_t begin = all.find_first_not_of(" *", start == std::string::npos ? 0 : start + 1);
    const size_t end = all.find('\n', begin);
    return all.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// The renderer's process and its output pipe, read through a buffer with a
// bound on how long any read waits.
class Renderer {
public:
    ~Renderer() { Stop(); }

    bool Start(const std::vector<std::string> &args, std::string *error) {
        int out[2];
        messages_ = memfd_create("ghostscript-messages", MFD_CLOEXEC);
        if (messages_ < 0 || pipe2(out, O_CLOEXEC) != 0) {
            *error = std::string("cannot start Ghostscript: ") + std::strerror(errno);
            return false;
        }
        std::vector<char *> argv;
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) RunChild(argv.data(), out[1], parent);
        close(out[1]);
        if (pid_ < 0) {
            close(out[0]);
            *error = std::string("cannot start Ghostscript: ") + std::strerror(errno);
            return false;
        }
        pipe_ = out[0];
        return true;
    }

    // Exactly `n` bytes; false at the end of the stream or when stuck.
    bool Read(uint8_t *to, size_t n) {
        while (n > 0) {
            if (at_ == end_ && !Fill()) return false;
            const size_t take = std::min(n, end_ - at_);
            std::memcpy(to, &buffer_[at_], take);
            at_ += take, to += take, n -= take;
        }
        return true;
    }

    // One byte, or -1 at the end.
    int Get() {
        uint8_t c;
        return Read(&c, 1) ? c : -1;
    }

    bool AtEnd() { return at_ == end_ && !Fill(); }

    // Why the stream ended: the process's own message and exit status. A
    // process whose output was not read to its end may be blocked writing:
    // it is killed, not waited for.
    std::string Failure() {
        Reap(!ended_);
        std::string why = stuck_ ? "it wrote nothing for " + std::to_string(kSilenceLimitMs / 1000) + " s"
                                 : FirstErrorLine(messages_);
        if (why.empty() && exited_) why = "it ended with status " + std::to_string(status_);
        if (why.empty()) why = "it ended early";
        return why;
    }

    // From any thread: the process ends, and the reads with it.
    void Kill() {
        std::lock_guard<std::mutex> lock(pid_mutex_);
        if (pid_ > 0) kill(pid_, SIGKILL);
    }

    void Stop() {
        Reap(true);
        if (pipe_ >= 0) close(pipe_);
        if (messages_ >= 0) close(messages_);
        pipe_ = messages_ = -1;
    }

private:
    [[noreturn]] static void RunChild(char **argv, int out, pid_t parent) {
        // Its own process group: a Ctrl-C at the terminal is this program's
        // to handle (it aborts the job), not the renderer's. It dies with
        // this program.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        dup2(out, STDOUT_FILENO);
        const int null_in = open("/dev/null", O_RDONLY);
        if (null_in >= 0) dup2(null_in, STDIN_FILENO);
        syscall(SYS_close_range, 3u, ~0u, 0u);
        execvp(argv[0], argv);
        static const char kNotFound[] = "Error: Ghostscript (gs) is not installed\n";
        (void)!write(STDERR_FILENO, kNotFound, sizeof kNotFound - 1);
        _exit(127);
    }

    bool Fill() {
        if (pipe_ < 0) return false;
        pollfd p{pipe_, POLLIN, 0};
        const int ready = poll(&p, 1, kSilenceLimitMs);
        if (ready == 0) stuck_ = true;
        if (ready <= 0) return false;
        const ssize_t n = read(pipe_, buffer_, sizeof buffer_);
        if (n <= 0) {
            ended_ = true;
            return false;
        }
        at_ = 0, end_ = size_t(n);
        return true;
    }

    void Reap(bool kill_it) {
        if (pid_ <= 0) return;
        if (kill_it || stuck_) kill(pid_, SIGKILL);
        int status = 0;
        // The stream has ended (or the process was killed): it is exiting.
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
        exited_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::lock_guard<std::mutex> lock(pid_mutex_);
        pid_ = -1;
    }

    std::mutex pid_mutex_;
    pid_t pid_ = -1;
    int pipe_ = -1, messages_ = -1;
    bool stuck_ = false, exited_ = false, ended_ = false;
    int status_ = 0;
    uint8_t buffer_[1 << 16];
    size_t at_ = 0, end_ = 0;
};

// One rendered page, 8 bits a sample: CMYK ink-coded, or grey light-coded,
// as the renderer writes them. It counts down the rows its document still
// has to skip to reach the next page.
class RenderedPage : public PageReader {
public:
    RenderedPage(Renderer *renderer, const PageInfo &info, uint32_t *remaining)
        : renderer_(renderer), remaining_(remaining), line_(size_t(info.width) * info.Channels()) {
        info_ = info;
    }

    bool ReadRow(uint16_t *samples, std::string *error) override {
        if (*remaining_ == 0 || !renderer_->Read(line_.data(), line_.size())) {
            *error = "Ghostscript stopped in the middle of a page: " + renderer_->Failure();
            return false;
        }
        --*remaining_;
        for (size_t i = 0; i < line_.size(); ++i) samples[i] = static_cast<uint16_t>(line_[i] * 257);
        return true;
    }

private:
    Renderer *renderer_;
    uint32_t *remaining_;
    std::vector<uint8_t> line_;
};

class RenderedDocument : public Document {
public:
    RenderedDocument(std::unique_ptr<Renderer> renderer, const DocumentOptions &o, std::string kind,
                     uint32_t pages)
        : renderer_(std::move(renderer)), options_(o), page_count_(pages) {
        kind_ = std::move(kind);
    }

    uint32_t PageCount() const override { return page_count_; }
    void Cancel() override { renderer_->Kill(); }

    std::unique_ptr<PageReader> NextPage(std::string *error) override {
        // What is left of the page before is skipped.
        std::vector<uint8_t> skip(size_t(width_) * channels_);
        for (; remaining_ > 0; --remaining_) {
            if (!renderer_->Read(skip.data(), skip.size())) {
                *error = "Ghostscript stopped in the middle of a page: " + renderer_->Failure();
                return nullptr;
            }
        }
        if (renderer_->AtEnd()) {
            const std::string why = renderer_->Failure();
            if (pages_ == 0) *error = "Ghostscript rendered no page: " + why;
            return nullptr;
        }
        PageInfo info;
        if (!ReadHeader(&info, error)) return nullptr;
        ++pages_;
        remaining_ = info.height;
        width_ = info.width;
        channels_ = info.Channels();
        return std::make_unique<RenderedPage>(renderer_.get(), info, &remaining_);
    }

private:
    // A header word; '#' starts a comment to the end of its line (Ghostscript
    // names itself in one).
    bool ReadToken(std::string *token) {
        token->clear();
        int c = renderer_->Get();
        while (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '#') {
            if (c == '#')
                while (c >= 0 && c != '\n') c = renderer_->Get();
            c = renderer_->Get();
        }
        while (c >= 0 && c != ' ' && c != '\n' && c != '\r' && c != '\t') {
            *token += static_cast<char>(c);
            if (token->size() > 64) return false;
            c = renderer_->Get();
        }
        return !token->empty();
    }

    // CMYK: P7 WIDTH w HEIGHT h DEPTH 4 MAXVAL 255 TUPLTYPE CMYK ENDHDR
    // grey:  P5 w h 255
    bool ReadHeader(PageInfo *info, std::string *error) {
        const bool grey = options_.render_grey;
        std::string token, value;
        bool ok = ReadToken(&token) && token == (grey ? "P5" : "P7");
        uint32_t depth = grey ? 1 : 0, maxval = 0;
        if (grey) {
            std::string width, height, max;
            ok = ok && ReadToken(&width) && ReadToken(&height) && ReadToken(&max);
            info->width = Number(width);
            info->height = Number(height);
            maxval = Number(max);
        } else {
            while (ok && ReadToken(&token) && token != "ENDHDR") {
                ok = ReadToken(&value);
                if (token == "WIDTH") info->width = Number(value);
                if (token == "HEIGHT") info->height = Number(value);
                if (token == "DEPTH") depth = Number(value);
                if (token == "MAXVAL") maxval = Number(value);
            }
            ok = ok && token == "ENDHDR";
        }
        if (!ok || depth != (grey ? 1u : 4u) || maxval != 255 || info->width == 0 || info->height == 0 ||
            info->width > (1u << 24)) {
            *error = std::string("Ghostscript's output is not a ") + (grey ? "grey" : "CMYK") +
                     " page: " + renderer_->Failure();
            return false;
        }
        info->model = grey ? PixelModel::kGrey : PixelModel::kCmyk;
        info->xdpi = options_.render_xdpi;
        info->ydpi = options_.render_ydpi;
        return true;
    }

    std::unique_ptr<Renderer> renderer_;
    DocumentOptions options_;
    uint32_t page_count_;
    static uint32_t Number(const std::string &text) {
        return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
    }

    uint32_t remaining_ = 0, width_ = 0, channels_ = 4;
    uint32_t pages_ = 0;
};

// A PostScript string of `text`.
std::string PsString(const std::string &text) {
    std::string out = "(";
    for (char c : text) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out + ")";
}

// Pages in a PDF, asked of Ghostscript; 0 when it cannot say.
uint32_t PdfPageCount(const std::string &path, const std::string &gs) {
    Renderer counter;
    std::string ignored;
    if (!counter.Start(
            {gs, "-q", "-dNODISPLAY", "-dSAFER", "-dBATCH", "-dNOPAUSE", "--permit-file-read=" + path, "-c",
             PsString(path) + " (r) file runpdfbegin pdfpagecount = quit"},
            &ignored))
        return 0;
    std::string out;
    for (int c = counter.Get(); c >= 0 && out.size() < 32; c = counter.Get()) out += static_cast<char>(c);
    return static_cast<uint32_t>(std::strtoul(out.c_str(), nullptr, 10));
}

}  // namespace

std::unique_ptr<Document> OpenRendered(const std::string &path, const std::string &kind,
                                       const DocumentOptions &o, std::string *error) {
    if (o.render_xdpi == 0 || o.render_ydpi == 0) {
        *error = "no resolution to render the page at";
        return nullptr;
    }
    std::vector<std::string> args = {
        o.ghostscript,
        "-q",
        "-dSAFER",
        "-dBATCH",
        "-dNOPAUSE",
        "-dNOINTERPOLATE",
        o.render_grey ? "-sDEVICE=pgmraw" : "-sDEVICE=pamcmyk32",
        "-r" + std::to_string(o.render_xdpi) + "x" + std::to_string(o.render_ydpi),
        "-sOutputFile=-",
        "-sstdout=%stderr"};
    // An EPS page is its bounding box.
    if (kind == "EPS") args.push_back("-dEPSCrop");
    if (o.page) args.push_back("-sPageList=" + std::to_string(o.page));
    args.insert(args.end(), {"-f", path});
    uint32_t pages = kind == "EPS" ? 1 : 0;
    if (kind == "PDF") {
        const uint32_t count = PdfPageCount(path, o.ghostscript);
        if (o.page && count && o.page > count) {
            *error = "there is no page " + std::to_string(o.page) + " (the file has " +
                     std::to_string(count) + (count == 1 ? " page)" : " pages)");
            return nullptr;
        }
        pages = o.page ? 1 : count;
    }
    auto renderer = std::make_unique<Renderer>();
    if (!renderer->Start(args, error)) return nullptr;
    return std::make_unique<RenderedDocument>(std::move(renderer), o, kind, pages);
}

}  // namespace frontend
