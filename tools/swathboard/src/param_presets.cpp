// The board configurations the emulator can pose as.
//
// Values are chosen distinct per channel and per field, so that a host that
// reads a field from the wrong byte ends up with a visibly wrong setting.
#include <string_view>

#include "swathboard.h"

namespace swathboard {

ParamPreset OlderPreset() {
    ParamPreset p;
    p.layout = Layout::kOlder;
    p.selector = 0;
    p.markers = Markers::kClassic;
    p.fw_version = 300;
    return p;
}

ParamPreset NewerPreset() { return ParamPreset{}; }

ParamPreset NewerAlignPreset() {
    ParamPreset p = NewerPreset();
    p.rev[2] = 0xA0;
    p.second_head = {0x0201, 0x0403, 0x0605, 0x0807, 0, 0};
    p.x360_lalign = {1, 2, 3, 4, 5, 6, 7, 8};
    p.x360_ralign = {-1, -2, -3, -4, -5, -6, -7, -8};
    p.x720_lalign = {11, 12, 13, 14, 15, 16, 17, 18};
    p.x720_ralign = {-11, -12, -13, -14, -15, -16, -17, -18};
    return p;
}

bool PresetByName(std::string_view name, ParamPreset *preset) {
    if (name == "old") {
        *preset = OlderPreset();
    } else if (name == "new") {
        *preset = NewerPreset();
    } else if (name == "new-align") {
        *preset = NewerAlignPreset();
    } else {
        return false;
    }
    return true;
}

}  // namespace swathboard
