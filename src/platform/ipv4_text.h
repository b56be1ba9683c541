// The IPv4 forms the library accepted before it used the system's parser;
// shared by both systems' plat_parse_ipv4 (platform internal).
#pragma once

#include <cstdint>

namespace sl {

// One to four dot-separated decimal parts of one to three digits, each at
// most 255, the missing trailing parts 0; blanks around the text are
// ignored. 0, or kPlatBadAddress for anything else.
int ParseLegacyIPv4(const char *text, uint32_t *value);

}  // namespace sl
