// The printer's own web page, beside PAPPL's: its board, the last job's
// outcome with its swath and ink figures, and the sheet the emulator
// printed for it when there is one.
#pragma once

#include <pappl/pappl.h>

namespace printerapp {

// Registers the page of every printer now known and of each one added later.
void AddPrinterPages(pappl_system_t *system);
// For the printers created from now on (PAPPL's create callback).
void AddPrinterPage(pappl_printer_t *printer, void *data);

}  // namespace printerapp
