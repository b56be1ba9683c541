// The process-wide printer the eleven entry points act on. Declared for the
// library's own tests; the library itself reaches it only in
// api/entry_points.cpp.
#pragma once

#include "api/printer.h"

namespace sl {

swathlink::Printer &DefaultPrinter();

}  // namespace sl
