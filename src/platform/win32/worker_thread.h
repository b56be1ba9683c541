// Whether the calling thread is one of the library's worker threads (started
// by plat_thread_start), for services that must not block those threads.
#pragma once

namespace sl {

bool plat_on_worker_thread();

}  // namespace sl
