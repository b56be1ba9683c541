#pragma once

namespace sl {

// 1 when the PC holds (or now holds) the wanted address.
int EnsureLocalAddress(const char *wanted, const char *board);

}  // namespace sl
