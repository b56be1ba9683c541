// TEMPORARY until the pipeline lands: what the pass geometry links against.
#include <cstdint>
#include "swathlink/records.h"
namespace sl {
uint32_t gPassSeq;
uint32_t gLinesPerStrip;
uint16_t SoftenDots(uint32_t, bool, uint8_t, int8_t) { return 0; }
void StripRingStart(PassInfo *) {}
void BuildSoftenTable360(uint8_t *, const PassInfo *, int8_t) {}
}
