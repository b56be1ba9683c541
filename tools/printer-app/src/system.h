// The PAPPL system of the application, made safe for PAPPL 1.3.1 as Debian
// ships it: a footer is always set (without one every web page crashes), the
// image limits are raised past the widest roll (a wider PNG loops for good
// in 1.3.1), nothing needs Avahi or D-Bus.
#pragma once

#include <pappl/pappl.h>

namespace printerapp {

// papplMainloop's system callback. Options (-o NAME=VALUE): server-port,
// listen-hostname, log-file, log-level, spool-directory, state-directory.
pappl_system_t *MakeSystem(int num_options, cups_option_t *options, void *data);

extern const char kFooterHtml[];

}  // namespace printerapp
