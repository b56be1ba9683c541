// The printer drivers the application offers: four-colour CMYK and black
// only (the head's light-ink channels have no plane here), each with the
// resolutions the printer prints exactly and roll media of its real width range.
#pragma once

#include <pappl/pappl.h>

namespace printerapp {

// The table handed to papplMainloop.
pappl_pr_driver_t *Drivers();
int DriverCount();

// PAPPL's driver callback: fills the driver data for `driver_name`.
bool DriverCallback(pappl_system_t *system, const char *driver_name, const char *device_uri,
                    const char *device_id, pappl_pr_driver_data_t *data, ipp_t **attrs, void *cb_data);

// PAPPL's auto-add callback: the application finds no devices on its own.
const char *AutoAdd(const char *device_info, const char *device_uri, const char *device_id, void *data);

// True when `printer` runs the black-only driver.
bool IsBlackOnly(pappl_printer_t *printer);

// Widest and longest roll (millimetres) at every resolution offered.
int RollMaxWidthMm();
int RollMaxLengthMm();

}  // namespace printerapp
