// PDF and PostScript sent to the printer directly: the front end's reader
// renders them with Ghostscript in a process of its own, at the job's
// resolution, and the pages stream row by row to the printer, as swathprint
// prints them.
#pragma once

#include <pappl/pappl.h>

namespace printerapp {

void AddDocumentFilters(pappl_system_t *system);

}  // namespace printerapp
