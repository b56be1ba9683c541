// Colour management: from an image's pixels to the head's four inks.
//
// Grey and RGB pixels go through LittleCMS 2 from the input profile (the one
// embedded in the file, else sRGB, or a grey sRGB-like curve) to a CMYK
// output profile (--output-profile, else the default CMYK profile that
// Debian's Ghostscript ships). CMYK pixels are already ink and pass through
// as they are, unless the file embeds a CMYK profile and an output profile
// is given: then they are converted from one press to the other.
//
// Grey with no profile at all (none embedded, no --output-profile) prints
// with K alone, as a monochrome job expects: neutral at every level, sharp
// edges without colour fringes from the other channels' registration.
//
// The total ink limit applies after the conversion, to every model: CMY are
// scaled down together (their ratio, so the hue, kept) until the sum fits,
// and K only when K alone is over the limit.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace frontend {

// Rendering intents, with the values of the ICC and LittleCMS.
enum Intent : int { kPerceptual = 0, kRelative = 1, kSaturation = 2, kAbsolute = 3 };

struct ColourOptions {
    std::string output_profile;  // empty: the default CMYK profile
    int intent = kPerceptual;
    int ink_limit_percent = 0;  // sum of the four inks, of 400; 0: no limit
};

enum class PixelModel { kGrey, kRgb, kCmyk };

// Where the default CMYK output profile is (Debian package libgs-common).
constexpr const char *kDefaultCmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

class ColourConverter {
public:
    // `icc`: the profile embedded in the image, empty when it has none.
    // Null, with one sentence in *error, for a damaged or unsuitable
    // embedded profile, an output profile that cannot be read or is not
    // CMYK, or a bad intent or ink limit.
    static std::unique_ptr<ColourConverter> Create(PixelModel model, std::span<const uint8_t> icc,
                                                   const ColourOptions &options, std::string *error);
    ~ColourConverter();
    ColourConverter(const ColourConverter &) = delete;
    ColourConverter &operator=(const ColourConverter &) = delete;

    // `n` pixels of interleaved 16-bit samples (grey, RGB: 65535 is white;
    // CMYK: 65535 is full ink) to ink coverage 0..1 per plane, in the host's
    // order Y, M, C, K. Const and safe to call from several threads at once.
    void ConvertRow(const uint16_t *pixels, uint32_t n, float *y, float *m, float *c, float *k) const;

    // The channels of one pixel of the model given to Create.
    uint32_t Channels() const;

    struct State;

private:
    explicit ColourConverter(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace frontend
