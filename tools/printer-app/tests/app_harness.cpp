#include "app_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

extern char **environ;

namespace printerapp::test {

namespace {

constexpr const char *kProgram = SWATHLINK_PRINTER_PROGRAM;

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string &path, const std::string &text) { std::ofstream(path) << text; }

// A port nobody listens on now.
int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

int Connect(int port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) return s;
    close(s);
    return -1;
}

pid_t Spawn(const std::vector<std::string> &argv, const std::map<std::string, std::string> &env,
            const std::string &output) {
    std::vector<std::string> vars;
    for (char **e = environ; *e; ++e) {
        const std::string v(*e);
        if (!env.count(v.substr(0, v.find('=')))) vars.push_back(v);
    }
    for (const auto &[k, v] : env) vars.push_back(k + "=" + v);
    // Programs started here find the library just built by name (under
    // AddressSanitizer dlopen does not read a program's run path), the leak
    // checker leaves alone what PAPPL and libcups keep until exit, and the
    // thread checker PAPPL's own lock order.
    const std::map<std::string, std::string> defaults = {
        {"SWATHLINK_LIBRARY", SWATHLINK_LIBRARY_FILE},
        {"LSAN_OPTIONS", "suppressions=" SWATHLINK_PRINTER_SANITIZER_FILES "/leaks.supp"},
        {"TSAN_OPTIONS", "suppressions=" SWATHLINK_PRINTER_SANITIZER_FILES "/threads.supp"}};
    for (const auto &[k, v] : defaults)
        if (!env.count(k) && !std::getenv(k.c_str())) vars.push_back(k + "=" + v);
    std::vector<char *> args, envp;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    for (const std::string &v : vars) envp.push_back(const_cast<char *>(v.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// Waits for `pid` at most `limit_s`, then kills it (exit code 124).
ProgramRun Reap(pid_t pid, int limit_s) {
    ProgramRun r;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(limit_s);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.exit_code = 124;
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    r.crashed = WIFSIGNALED(status);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// The last "NAME (type) = value" ipptool displayed for `name`.
std::string Displayed(const std::string &out, const std::string &name) {
    std::string value;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find(name + " (");
        if (at == std::string::npos || line.find_first_not_of(' ') != at) continue;
        const size_t eq = line.find(" = ");
        if (eq != std::string::npos) value = line.substr(eq + 3);
    }
    return value;
}

const char kPrintJobTest[] = R"({
  NAME "Print-Job"
  OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR language attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name $user
  ATTR name job-name $jobname
  ATTR mimeMediaType document-format $filetype
  GROUP job-attributes-tag
  $res
  ATTR keyword print-scaling none
  $media
  FILE $filename
  STATUS successful-ok
  STATUS successful-ok-ignored-or-substituted-attributes
  EXPECT job-id
  DISPLAY job-id
}
)";

const char kMediaCol[] =
    "ATTR collection media-col { MEMBER collection media-size { MEMBER integer x-dimension $xdim "
    "MEMBER integer y-dimension $ydim } MEMBER integer media-left-margin 0 MEMBER integer "
    "media-right-margin 0 MEMBER integer media-top-margin 0 MEMBER integer media-bottom-margin 0 }";

const char kWaitTest[] = R"({
  NAME "The job's state"
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR language attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR integer job-id $jobid
  ATTR name requesting-user-name $user
  STATUS successful-ok
  DISPLAY job-state
  DISPLAY job-state-reasons
  DISPLAY job-state-message
}
)";

// PAPPL's Create-Printer, as its `add` sub-command sends it: over TCP, so
// that servers side by side never meet (as root, every server's domain
// socket is /run/swathlink-printer.sock).
const char kCreatePrinterTest[] = R"({
  NAME "Create-Printer"
  OPERATION Create-Printer
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR language attributes-natural-language en
  ATTR uri system-uri $uri
  ATTR name requesting-user-name $user
  ATTR keyword printer-service-type print
  ATTR keyword smi55357-driver $driver
  ATTR uri smi55357-device-uri $device
  GROUP printer-attributes-tag
  ATTR name printer-name $name
  STATUS successful-ok
}
)";

const char kCancelTest[] = R"({
  NAME "Cancel the job"
  OPERATION Cancel-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR language attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR integer job-id $jobid
  ATTR name requesting-user-name $user
  STATUS successful-ok
}
)";

const char kPrinterTest[] = R"({
  NAME "Printer state"
  OPERATION Get-Printer-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR language attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR keyword requested-attributes printer-state,printer-state-reasons,printer-resolution-default
  STATUS successful-ok
  DISPLAY printer-state-reasons
  DISPLAY printer-resolution-default
}
)";

}  // namespace

TempDir::TempDir() {
    char pattern[] = "/tmp/swathlink-printer-test-XXXXXX";
    root = mkdtemp(pattern);
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!std::getenv("SWATHLINK_KEEP_TEST_FILES")) std::filesystem::remove_all(root, ec);
}

ProgramRun RunProgram(const std::vector<std::string> &argv, const std::map<std::string, std::string> &env,
                      int limit_s) {
    char pattern[] = "/tmp/swathlink-printer-run-XXXXXX";
    const int fd = mkstemp(pattern);
    close(fd);
    ProgramRun r = Reap(Spawn(argv, env, pattern), limit_s);
    r.out = ReadFile(pattern);
    unlink(pattern);
    return r;
}

bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

BoardPtr StartEmulator(const std::string &ip, uint32_t answer_latency_ms) {
    swathboard::BoardConfig config;
    config.ip = ip;
    config.answer_latency_ms = answer_latency_ms;
    std::string error;
    return BoardPtr(swathboard::StartBoard(config, &error));
}

Server::Server(const std::string &folder) : folder_(folder), log_(folder + "/server.log") {
    WriteFile(folder_ + "/print-job.test", kPrintJobTest);
    WriteFile(folder_ + "/wait.test", kWaitTest);
    WriteFile(folder_ + "/cancel.test", kCancelTest);
    WriteFile(folder_ + "/create-printer.test", kCreatePrinterTest);
    WriteFile(folder_ + "/printer.test", kPrinterTest);
}

Server::~Server() {
    std::string ignored;
    if (pid_ > 0) Stop(&ignored);
}

std::map<std::string, std::string> Server::Env() const {
    return {{"HOME", folder_},
            {"TMPDIR", folder_},
            {"XDG_CONFIG_HOME", folder_},
            {"XDG_STATE_HOME", folder_ + "/state"},
            // The protocol's pauses shortened, but not so far that a loaded
            // machine misses the cancel's bound (0.88 s at 0.01) against a
            // board that answers 100 ms late.
            {"SWATHLINK_TIME_SCALE", "0.1"}};
}

void ServerTest::SetUp() {
    server_ = std::make_unique<Server>(dir_.root);
    std::string error;
    ASSERT_TRUE(server_->Start(&error)) << error;
}

void ServerTest::TearDown() {
    std::string error;
    EXPECT_TRUE(server_->Stop(&error)) << error;
    if (HasFailure()) std::fprintf(stderr, "server log:\n%s\n", server_->LogText().substr(0, 20000).c_str());
}

std::string Server::LogText() const { return ReadFile(log_); }

bool Server::Start(std::string *error) {
    port_ = FreePort();
    // papplMainloop's domain socket (the sub-commands'), and the port. As
    // root the socket is /run/swathlink-printer.sock, shared by servers side
    // by side: then the port alone tells this one is up.
    const std::string socket = folder_ + "/swathlink-printer" + std::to_string(getuid()) + ".sock";
    pid_ = Spawn(
        {kProgram, "server", "-o", "server-port=" + std::to_string(port_), "-o", "listen-hostname=127.0.0.1",
         "-o", "log-file=" + log_, "-o", "log-level=debug", "-o", "state-directory=" + folder_ + "/state"},
        Env(), folder_ + "/server.out");
    const bool up = WaitUntil(
        [&] {
            if (getuid() != 0 && !std::filesystem::exists(socket)) return false;
            const int s = Connect(port_);
            if (s >= 0) close(s);
            return s >= 0;
        },
        std::chrono::seconds(20));
    if (!up) *error = "the server did not come up: " + ReadFile(folder_ + "/server.out") + LogText();
    return up;
}

bool Server::Stop(std::string *error) {
    if (pid_ <= 0) return true;
    // As systemd stops it. (PAPPL 1.3.1's Shutdown-All-Printers does not end
    // the server.)
    kill(pid_, SIGTERM);
    const ProgramRun r = Reap(pid_, 20);
    pid_ = -1;
    if (r.exit_code == 0) return true;
    *error = "the server ended with " + std::to_string(r.exit_code) + (r.crashed ? " (crashed)" : "") + ": " +
             ReadFile(folder_ + "/server.out");
    return false;
}

ProgramRun Server::Command(const std::vector<std::string> &args) {
    std::vector<std::string> argv{kProgram};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, Env(), 30);
}

bool Server::AddPrinter(const std::string &name, const std::string &board, const std::string &driver,
                        std::string *error) {
    std::vector<std::string> argv{"ipptool", "-tv", "-T", "30"};
    const std::string device = board.find("://") == std::string::npos ? "swathlink://" + board : board;
    for (const std::string &v : {"name=" + name, "device=" + device, "driver=" + driver}) {
        argv.push_back("-d");
        argv.push_back(v);
    }
    argv.push_back("ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/system");
    argv.push_back(folder_ + "/create-printer.test");
    const ProgramRun r = RunProgram(argv, Env(), 30);
    if (r.exit_code != 0) *error = r.out;
    return r.exit_code == 0;
}

std::string Server::Uri(const std::string &printer) const {
    return "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print/" + printer;
}

ProgramRun Server::Ipp(const std::string &printer, const std::string &test_file,
                       const std::vector<std::string> &vars, int limit_s) {
    std::vector<std::string> argv{"ipptool", "-tv", "-T", "30"};
    for (const std::string &v : vars) {
        argv.push_back("-d");
        argv.push_back(v);
    }
    argv.push_back(Uri(printer));
    argv.push_back(folder_ + "/" + test_file);
    return RunProgram(argv, Env(), limit_s);
}

int Server::Submit(const std::string &printer, const JobRequest &job, std::string *error) {
    std::vector<std::string> vars{"filetype=" + job.format,
                                  "jobname=" + std::filesystem::path(job.file).filename().string()};
    std::string media;
    if (job.width_hmm > 0) {
        media = kMediaCol;
        vars.push_back("xdim=" + std::to_string(job.width_hmm));
        vars.push_back("ydim=" + std::to_string(job.length_hmm));
    }
    // The resolution and the media collection go into a copy of the test
    // file (ipptool has no way to leave out an attribute of a test).
    std::string text = kPrintJobTest;
    text.replace(text.find("$res"), 4,
                 job.xdpi > 0 ? "ATTR resolution printer-resolution " + std::to_string(job.xdpi) + "x" +
                                    std::to_string(job.ydpi) + "dpi"
                              : std::string());
    text.replace(text.find("$media"), 6, media);
    const std::string file = "print-job-" + std::to_string(getpid()) + "-" +
                             std::to_string(std::hash<std::string>{}(job.file + printer)) + ".test";
    WriteFile(folder_ + "/" + file, text);
    std::vector<std::string> argv{"ipptool", "-tv", "-T", "30", "-f", job.file};
    for (const std::string &v : vars) {
        argv.push_back("-d");
        argv.push_back(v);
    }
    argv.push_back(Uri(printer));
    argv.push_back(folder_ + "/" + file);
    const ProgramRun r = RunProgram(argv, Env(), 60);
    const int id = std::atoi(Displayed(r.out, "job-id").c_str());
    if (id == 0) *error = r.out;
    return id;
}

JobEnd Server::WaitForJob(const std::string &printer, int job_id, int limit_s) {
    // Asked again and again: ipptool's own repeat waits seconds between asks.
    JobEnd end;
    end.id = job_id;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(limit_s);
    for (;;) {
        const ProgramRun r = Ipp(printer, "wait.test", {"jobid=" + std::to_string(job_id)}, 30);
        end.state = Displayed(r.out, "job-state");
        end.reasons = Displayed(r.out, "job-state-reasons");
        end.message = Displayed(r.out, "job-state-message");
        end.client_output = r.out;
        if (end.state == "completed" || end.state == "aborted" || end.state == "canceled" ||
            std::chrono::steady_clock::now() > give_up)
            return end;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

JobEnd Server::Print(const std::string &printer, const JobRequest &job, int limit_s) {
    std::string error;
    const int id = Submit(printer, job, &error);
    if (id == 0) {
        JobEnd end;
        end.client_output = error;
        return end;
    }
    return WaitForJob(printer, id, limit_s);
}

bool Server::Cancel(const std::string &printer, int job_id) {
    return Ipp(printer, "cancel.test", {"jobid=" + std::to_string(job_id)}).exit_code == 0;
}

std::string Server::PrinterAttribute(const std::string &printer, const std::string &name) {
    return Displayed(Ipp(printer, "printer.test", {}).out, name);
}

namespace {

// A header's value (lower case) in an HTTP head; empty when absent.
std::string Header(const std::string &head, const std::string &name) {
    std::string lower(head);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    const size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos) return "";
    size_t from = at + name.size() + 3;
    while (from < lower.size() && lower[from] == ' ') ++from;
    return lower.substr(from, lower.find("\r\n", from) - from);
}

// Whether `reply` holds a whole answer: its head, then its length's worth
// of body or the last chunk.
bool WholeAnswer(const std::string &reply) {
    const size_t split = reply.find("\r\n\r\n");
    if (split == std::string::npos) return false;
    const std::string head = reply.substr(0, split);
    if (Header(head, "transfer-encoding") == "chunked")
        return reply.size() >= split + 9 && reply.compare(reply.size() - 7, 7, "\r\n0\r\n\r\n") == 0;
    const std::string length = Header(head, "content-length");
    return !length.empty() && reply.size() - split - 4 >= std::stoull(length);
}

std::string Unchunked(const std::string &chunked) {
    std::string out;
    size_t at = 0;
    while (at < chunked.size()) {
        const size_t line_end = chunked.find("\r\n", at);
        if (line_end == std::string::npos) break;
        const size_t n = std::stoul(chunked.substr(at, line_end - at), nullptr, 16);
        if (n == 0) break;
        out += chunked.substr(line_end + 2, n);
        at = line_end + 2 + n + 2;
    }
    return out;
}

}  // namespace

int Server::Get(const std::string &path, std::string *body) { return Http("GET " + path, "", body); }

int Server::Post(const std::string &path, const std::string &form, std::string *body) {
    return Http("POST " + path, form, body);
}

int Server::Http(const std::string &request_line, const std::string &form, std::string *body) {
    const int s = Connect(port_);
    if (s < 0) return 0;
    std::string request =
        request_line + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\nConnection: close\r\n";
    if (!form.empty())
        request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                   std::to_string(form.size()) + "\r\n";
    request += "\r\n" + form;
    if (write(s, request.data(), request.size()) < 0) {
        close(s);
        return 0;
    }
    std::string reply;
    char buffer[65536];
    timeval limit{20, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    // PAPPL keeps the connection open after a chunked answer: read up to
    // the answer's end, not the connection's.
    for (ssize_t n; !WholeAnswer(reply) && (n = read(s, buffer, sizeof buffer)) > 0;)
        reply.append(buffer, size_t(n));
    close(s);
    const size_t split = reply.find("\r\n\r\n");
    *body = split == std::string::npos ? "" : reply.substr(split + 4);
    if (split != std::string::npos && Header(reply.substr(0, split), "transfer-encoding") == "chunked")
        *body = Unchunked(*body);
    return reply.size() > 12 ? std::atoi(reply.c_str() + 9) : 0;
}

}  // namespace printerapp::test

namespace printerapp::test {

int StartProgram(const std::vector<std::string> &argv, const std::map<std::string, std::string> &env,
                 const std::string &output) {
    return Spawn(argv, env, output);
}

ProgramRun StopProgram(int pid, int limit_s) {
    if (pid <= 0) return {};
    kill(pid, SIGTERM);
    return Reap(pid, limit_s);
}

int UnusedPort() { return FreePort(); }

bool PortOpen(int port) {
    const int s = Connect(port);
    if (s >= 0) close(s);
    return s >= 0;
}

std::string FileText(const std::string &path) { return ReadFile(path); }

}  // namespace printerapp::test
