// Operating-system services. This header is the only way the rest of the
// library reaches the system; posix/ and win32/ implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sl {

// Handles the rest of the library holds without seeing inside: a thread
// started here and a socket (an int on posix, a SOCKET on Windows).
struct PlatThread;
using PlatSocket = intptr_t;
constexpr PlatSocket kInvalidSocket = -1;

// Results, as libuv gives them: 0 (or a count of bytes) for success, a
// negative error code for failure, -errno on posix and the negated Windows
// error code on Windows. The codes callers act on have names of their own,
// the same on both systems.
constexpr int kPlatTimedOut = -110;
constexpr int kPlatWouldBlock = -11;
constexpr int kPlatBadAddress = -22;

// --- time ------------------------------------------------------------------
// Every sleep and time-out is multiplied by SWATHLINK_TIME_SCALE (default 1),
// so tests can run the real timings fast.
double plat_time_scale();
void plat_set_time_scale(double scale);  // tests; overrides the environment
uint32_t plat_scaled_ms(uint32_t ms);
void plat_sleep_ms(uint32_t ms);  // scaled
uint32_t plat_ticks_ms();         // monotonic, wraps

struct PlatTime {
    uint16_t year, month, day, hour, minute, second;
};
PlatTime plat_local_time();
PlatTime plat_utc_time();
uint32_t plat_time_seconds();  // seconds since the epoch, for seeding

// --- locale and operator messages ------------------------------------------
uint32_t plat_default_locale();  // 2052 for a Chinese locale, else 1033
void plat_message_box(const char *caption, const char *text);
// Tests divert message boxes; nullptr restores the system's.
using MessageSink = void (*)(const char *caption, const char *text);
void plat_set_message_sink(MessageSink sink);

// --- trace -----------------------------------------------------------------
// Silent unless SWATHLINK_TRACE is "stderr" or a file name.
void sl_trace(const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// --- hidden folder and file attributes -------------------------------------
enum : uint32_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
};
std::string plat_prnlog_dir();                   // "c:\Prnlog" or its posix stand-in
std::string plat_prnlog_file(const char *name);  // a file inside it
std::string plat_folder_file(const std::string &folder, const char *name);  // a file inside `folder`
int plat_get_attrs(const std::string &path, uint32_t *attrs);               // an error also when absent
int plat_set_attrs(const std::string &path, uint32_t attrs);
int plat_make_dir(const std::string &path);
int plat_delete_file(const std::string &path);
// Whether a file whose attributes cannot be cleared may be deleted so that a
// fresh one can be written in its place.
bool plat_may_delete_locked_file();

// --- memory ------------------------------------------------------------------
// nullptr when the system has no memory to give.
void *plat_alloc_block(size_t bytes);  // fixed memory for the job block
void plat_free_block(void *p, size_t bytes);
void *plat_alloc_virtual(size_t bytes);  // reserved and committed, zero-filled
void plat_free_virtual(void *p, size_t bytes);

// --- threads -----------------------------------------------------------------
using ThreadFn = int (*)(void *arg);
PlatThread *plat_thread_start(ThreadFn fn, void *arg);  // nullptr on failure
void plat_thread_join(PlatThread *t);                   // waits, then frees

// --- signals -----------------------------------------------------------------
// A thread that waits for another waits on a signal: the thread that changes
// what it waits for raises the signal after the change. A signal counts its
// raises, and the waiter takes the count before it looks at what it waits
// for, so a raise given between the look and the wait is not lost. Every
// wait is bounded.
struct PlatSignal;
PlatSignal *plat_signal_new();  // nullptr when out of memory
void plat_signal_free(PlatSignal *s);
uint32_t plat_signal_count(PlatSignal *s);
void plat_signal_raise(PlatSignal *s);
// Waits until the count differs from `seen` or `ms` have passed: 0 when
// raised, kPlatTimedOut when the time ran out. `ms` is taken as given (the
// caller has scaled it).
int plat_signal_wait(PlatSignal *s, uint32_t seen, uint32_t ms);

// --- shared memory -----------------------------------------------------------
// Named block visible to other processes. Its name stays taken until the
// process ends (Windows), so other programs can keep watching it between
// jobs; the release unmaps this process's view.
void *plat_shared_block(const char *name, size_t bytes);
void plat_shared_block_release(void *block, size_t bytes);

// --- sockets -----------------------------------------------------------------
void plat_net_startup();
void plat_net_cleanup();
int plat_tcp_socket(PlatSocket *s);  // on failure *s is kInvalidSocket
void plat_set_send_options(PlatSocket s, uint32_t send_timeout_ms);
// Non-blocking connect with a writable wait (kPlatTimedOut when it ran out).
int plat_connect(PlatSocket s, uint32_t ipv4, uint16_t port, uint32_t timeout_ms);
// Sends all bytes (completing partial sends): len, or an error.
int plat_send_all(PlatSocket s, const void *buf, int len);
int plat_recv(PlatSocket s, void *buf, int cap);  // bytes, 0 closed, or an error
// Takes only bytes that have already arrived and never blocks: another
// thread may read them first (bytes, 0 closed, kPlatWouldBlock for none).
int plat_recv_pending(PlatSocket s, void *buf, int cap);
int plat_wait_readable(PlatSocket s, uint32_t timeout_ms);  // 0 readable, kPlatTimedOut
void plat_socket_shutdown(PlatSocket s);                    // wakes a receive blocked in another thread
int plat_socket_close(PlatSocket s);

// IPv4 text to a host-order value: 0, or kPlatBadAddress. Dotted quads are
// read by the system's inet_pton; the forms the library always took beside
// them stay accepted (parts with leading zeros, "10.1" for 10.1.0.0 with
// the missing parts 0, blanks around the text), because address texts come
// from setting files that other programs write.
int plat_parse_ipv4(const char *text, uint32_t *value);

// --- host network ------------------------------------------------------------
// Answers, not results: 1 yes, 0 no.
// 1 when an interface holds the address (win32: registry key, MTU set to 1500).
int plat_check_interface_ip(const char *address);
// Addresses the host name resolves to, at most `max` slots of 128 chars
// (*count 0 when it resolves to none).
void plat_list_host_addresses(char (*list)[128], int max, int *count);
// 1 when it rewrote the interface found by the last check; posix never
// changes anything.
int plat_set_interface_ip(const char *address, const char *mask);
// Static address-resolution entry for the board (win32 only; posix no-op).
void plat_install_board_arp(const char *pc_ip, const char *board_ip, const char *mac_text,
                            const uint8_t mac[6]);

}  // namespace sl
