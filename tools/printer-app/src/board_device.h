// The device scheme swathlink://BOARD-ADDRESS. PAPPL opens a printer's
// device for every job; the board itself is reached by the library when a
// page starts (its link, its retries), so opening only checks the address.
#pragma once

namespace printerapp {

void AddBoardScheme();

}  // namespace printerapp
