// Running the printer application as a user does: the server in a folder of
// its own (HOME, TMPDIR and XDG_CONFIG_HOME there, a private port, loopback
// only), its sub-commands, and ipptool as the IPP client.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "swathboard.h"

namespace printerapp::test {

struct TempDir {
    TempDir();
    ~TempDir();
    std::string Path(const std::string &name) const { return root + "/" + name; }
    std::string root;
};

struct ProgramRun {
    int exit_code = -1;  // 124: the time limit ended it
    bool crashed = false;
    std::string out;  // stdout and stderr
};

// Runs `argv` with the environment changed by `env`, at most `limit_s`.
ProgramRun RunProgram(const std::vector<std::string> &argv, const std::map<std::string, std::string> &env,
                      int limit_s = 60);

// An IPP job's end as Get-Job-Attributes reports it.
struct JobEnd {
    int id = 0;
    std::string state;    // "completed", "aborted", "canceled", ...
    std::string reasons;  // job-state-reasons, comma separated
    std::string message;
    std::string client_output;  // ipptool's, for failure messages
};

// What a Print-Job sends with the document.
struct JobRequest {
    std::string file;
    std::string format;                 // document-format
    int xdpi = 360, ydpi = 360;         // printer-resolution; 0: none sent, the printer's choice
    int width_hmm = 0, length_hmm = 0;  // media-size in 1/100 mm; 0: none sent
};

class Server {
public:
    explicit Server(const std::string &folder);
    // Shuts the server down (the shutdown sub-command, then a kill).
    ~Server();

    // Starts it and waits for its domain socket and its port; false with the log.
    bool Start(std::string *error);
    // `shutdown`, then waits for it to end; false when it crashed or hung.
    bool Stop(std::string *error);
    // A sub-command of the program (add, jobs, ...).
    ProgramRun Command(const std::vector<std::string> &args);
    // `board`: an IPv4 address (a swathlink:// device) or a whole device URI.
    bool AddPrinter(const std::string &name, const std::string &board, const std::string &driver,
                    std::string *error);

    // Print-Job, then Get-Job-Attributes until the job has ended.
    JobEnd Print(const std::string &printer, const JobRequest &job, int limit_s = 60);
    // Print-Job only: the job's id (0 with the client's output in *error).
    int Submit(const std::string &printer, const JobRequest &job, std::string *error);
    JobEnd WaitForJob(const std::string &printer, int job_id, int limit_s = 60);
    bool Cancel(const std::string &printer, int job_id);
    // One of the printer's state attributes (printer-state-reasons,
    // printer-resolution-default), as ipptool shows it.
    std::string PrinterAttribute(const std::string &printer, const std::string &name);
    // An HTTP GET of `path` on the server: the status and the body.
    int Get(const std::string &path, std::string *body);
    // An HTTP POST of a form (already encoded) to `path`.
    int Post(const std::string &path, const std::string &form, std::string *body);

    std::string Uri(const std::string &printer) const;
    const std::string &Log() const { return log_; }
    std::string LogText() const;
    int Port() const { return port_; }

private:
    std::map<std::string, std::string> Env() const;
    int Http(const std::string &request_line, const std::string &form, std::string *body);
    ProgramRun Ipp(const std::string &printer, const std::string &test_file,
                   const std::vector<std::string> &vars, int limit_s = 60);

    std::string folder_, log_;
    int port_ = 0;
    int pid_ = -1;
};

// A test with a server of its own: started before the test, and stopped
// after it, cleanly (no crash on the way: no Avahi, no D-Bus here), its log
// shown when the test failed.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TempDir dir_;
    std::unique_ptr<Server> server_;
};

// The emulator a printer prints to, with the settings of swathprint's
// built-in one, so sheets compare dot for dot.
struct BoardDeleter {
    void operator()(swathboard::Board *b) const { swathboard::StopBoard(b); }
};
using BoardPtr = std::unique_ptr<swathboard::Board, BoardDeleter>;
BoardPtr StartEmulator(const std::string &ip, uint32_t answer_latency_ms = 0);

// Waits until `done` holds, at most `limit`.
bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit);

}  // namespace printerapp::test

namespace printerapp::test {

// A program that runs beside the test (a daemon in the foreground), its
// stdout and stderr in `output`: its process id, or -1.
int StartProgram(const std::vector<std::string> &argv, const std::map<std::string, std::string> &env,
                 const std::string &output);
// Ends what StartProgram started: SIGTERM, then SIGKILL after `limit_s`.
ProgramRun StopProgram(int pid, int limit_s = 10);
// A loopback port nobody listens on now, and whether one takes connections.
int UnusedPort();
bool PortOpen(int port);
// A file's bytes ("" when it cannot be read).
std::string FileText(const std::string &path);

}  // namespace printerapp::test
