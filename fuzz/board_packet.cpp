// The emulator's reading of the host's 64-byte command packets: the named
// fields of every command code and the two swath fields it acts on.
#include <cstdint>
#include <vector>

#include "packet_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The emulator reads whole packets; a short input is the start of one.
    std::vector<uint8_t> packet(data, data + (size < 64 ? size : 64));
    packet.resize(64);
    const std::vector<swathboard::NamedField> fields = swathboard::DecodePacket(packet.data());
    volatile uint64_t sink =
        swathboard::SwathDataLength(packet.data()) + swathboard::SwathSerial(packet.data());
    for (const auto &f : fields) sink = sink + f.value;
    (void)sink;
    return 0;
}
