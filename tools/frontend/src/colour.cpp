#include "colour.h"

#include <lcms2.h>

#include <algorithm>

namespace frontend {

namespace {

// Pixels converted per call into a buffer on the stack: whole rows of a wide
// image go through in a few calls without a buffer per thread.
constexpr uint32_t kChunkPixels = 1024;
constexpr float kFull = 1.0f / 65535.0f;

const char *const kIntentNames[] = {"perceptual", "relative colorimetric", "saturation",
                                    "absolute colorimetric"};

uint32_t ChannelsOf(PixelModel model) {
    return model == PixelModel::kGrey ? 1 : model == PixelModel::kRgb ? 3 : 4;
}

cmsColorSpaceSignature SpaceOf(PixelModel model) {
    return model == PixelModel::kGrey  ? cmsSigGrayData
           : model == PixelModel::kRgb ? cmsSigRgbData
                                       : cmsSigCmykData;
}

const char *NameOf(PixelModel model) {
    return model == PixelModel::kGrey ? "grey" : model == PixelModel::kRgb ? "RGB" : "CMYK";
}

cmsUInt32Number FormatOf(PixelModel model) {
    return model == PixelModel::kGrey ? TYPE_GRAY_16 : model == PixelModel::kRgb ? TYPE_RGB_16 : TYPE_CMYK_16;
}

// LittleCMS reports why a profile or a transform failed through the
// context's handler; the first reason is kept for the error sentence.
void KeepFirstError(cmsContext context, cmsUInt32Number, const char *text) {
    auto *reason = static_cast<std::string *>(cmsGetContextUserData(context));
    if (reason && reason->empty()) *reason = text;
}

// Closes a profile when it goes out of scope.
struct Profile {
    cmsHPROFILE handle = nullptr;
    ~Profile() {
        if (handle) cmsCloseProfile(handle);
    }
};

// A grey profile with the sRGB tone curve and the D50 white: untagged grey
// is taken as a grey screen shows it.
cmsHPROFILE OpenDefaultGrey(cmsContext context) {
    const cmsFloat64Number srgb_curve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve *curve = cmsBuildParametricToneCurve(context, 4, srgb_curve);
    if (!curve) return nullptr;
    cmsHPROFILE profile = cmsCreateGrayProfileTHR(context, cmsD50_xyY(), curve);
    cmsFreeToneCurve(curve);
    return profile;
}

// Interleaved CMYK samples to coverage planes, in a loop the compiler
// vectorises.
void Spread(const uint16_t *cmyk, uint32_t n, float *y, float *m, float *c, float *k) {
    for (uint32_t i = 0; i < n; ++i) {
        c[i] = cmyk[4 * i] * kFull;
        m[i] = cmyk[4 * i + 1] * kFull;
        y[i] = cmyk[4 * i + 2] * kFull;
        k[i] = cmyk[4 * i + 3] * kFull;
    }
}

// Keeps the four inks' sum within `limit`: C, M and Y scale down together,
// so their ratio (the hue) stays; K gives way only when it alone is over.
void LimitInk(float limit, uint32_t n, float *y, float *m, float *c, float *k) {
    for (uint32_t i = 0; i < n; ++i) {
        const float colour = c[i] + m[i] + y[i];
        if (colour + k[i] <= limit) continue;
        if (k[i] >= limit) {
            k[i] = limit, c[i] = m[i] = y[i] = 0;
            continue;
        }
        const float scale = (limit - k[i]) / colour;
        c[i] *= scale, m[i] *= scale, y[i] *= scale;
    }
}

}  // namespace

struct ColourConverter::State {
    PixelModel model = PixelModel::kRgb;
    std::string reason;  // LittleCMS's first complaint; its context points here
    cmsContext context = nullptr;
    cmsHTRANSFORM transform = nullptr;  // null: grey as K alone, or CMYK as it is
    float limit = 0;                    // most of the four coverages together; 0: none

    ~State() {
        if (transform) cmsDeleteTransform(transform);
        if (context) cmsDeleteContext(context);
    }
    // The embedded profile, checked to be readable and of the image's model.
    bool OpenInput(std::span<const uint8_t> icc, Profile *profile, std::string *error);
    bool OpenOutput(const std::string &path, Profile *profile, std::string *error);
    bool MakeTransform(std::span<const uint8_t> icc, const ColourOptions &options, std::string *error);
};

bool ColourConverter::State::OpenInput(std::span<const uint8_t> icc, Profile *profile, std::string *error) {
    profile->handle = cmsOpenProfileFromMemTHR(context, icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    if (!profile->handle) {
        *error = "the image's embedded colour profile is damaged";
        return false;
    }
    if (cmsGetColorSpace(profile->handle) != SpaceOf(model)) {
        *error = std::string("the image's embedded colour profile is not a ") + NameOf(model) + " profile";
        return false;
    }
    return true;
}

bool ColourConverter::State::OpenOutput(const std::string &path, Profile *profile, std::string *error) {
    const bool fallback = path.empty();
    const std::string file = fallback ? kDefaultCmykProfile : path;
    profile->handle = cmsOpenProfileFromFileTHR(context, file.c_str(), "r");
    if (!profile->handle) {
        *error = "cannot read the output colour profile " + file +
                 (fallback ? " (install Debian's libgs-common, or give --output-profile)" : "");
        return false;
    }
    if (cmsGetColorSpace(profile->handle) != cmsSigCmykData) {
        *error = "the output colour profile " + file + " is not a CMYK profile";
        return false;
    }
    return true;
}

bool ColourConverter::State::MakeTransform(std::span<const uint8_t> icc, const ColourOptions &options,
                                           std::string *error) {
    Profile input, output;
    if (!icc.empty() && !OpenInput(icc, &input, error)) return false;
    if (!OpenOutput(options.output_profile, &output, error)) return false;
    if (!input.handle)
        input.handle =
            model == PixelModel::kGrey ? OpenDefaultGrey(context) : cmsCreate_sRGBProfileTHR(context);
    // Black point compensation keeps shadow detail when the relative intent
    // maps the image's black onto the press's; a high-resolution device link
    // keeps dark gradients smooth. The one-pixel cache stays: it is copied per
    // call, so the transform is safe to share, and paper-white runs are long.
    cmsUInt32Number flags = cmsFLAGS_HIGHRESPRECALC;
    if (options.intent == kRelative) flags |= cmsFLAGS_BLACKPOINTCOMPENSATION;
    reason.clear();
    transform = cmsCreateTransformTHR(context, input.handle, FormatOf(model), output.handle, TYPE_CMYK_16,
                                      static_cast<cmsUInt32Number>(options.intent), flags);
    if (!transform) {
        *error = std::string(icc.empty() ? "cannot convert to the output colour profile"
                                         : "cannot use the image's embedded colour profile") +
                 " with the " + kIntentNames[options.intent] + " intent" +
                 (reason.empty() ? "" : " (" + reason + ")");
        return false;
    }
    return true;
}

ColourConverter::ColourConverter(std::unique_ptr<State> state) : state_(std::move(state)) {}
ColourConverter::~ColourConverter() = default;

uint32_t ColourConverter::Channels() const { return ChannelsOf(state_->model); }

std::unique_ptr<ColourConverter> ColourConverter::Create(PixelModel model, std::span<const uint8_t> icc,
                                                         const ColourOptions &options, std::string *error) {
    if (options.intent < kPerceptual || options.intent > kAbsolute) {
        *error = "unknown rendering intent " + std::to_string(options.intent);
        return nullptr;
    }
    if (options.ink_limit_percent < 0 || options.ink_limit_percent > 400) {
        *error = "the ink limit must be from 1 to 400 percent (0 for none)";
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->model = model;
    state->limit = static_cast<float>(options.ink_limit_percent) / 100.0f;
    state->context = cmsCreateContext(nullptr, &state->reason);
    if (!state->context) {
        *error = "cannot start colour management";
        return nullptr;
    }
    cmsSetLogErrorHandlerTHR(state->context, KeepFirstError);
    // CMYK is ink already: it is converted only from one press's profile
    // to another's. Grey with no profile at all prints with K alone.
    const bool converted = model == PixelModel::kRgb ||
                           (model == PixelModel::kCmyk && !icc.empty() && !options.output_profile.empty()) ||
                           (model == PixelModel::kGrey && (!icc.empty() || !options.output_profile.empty()));
    if (converted && !state->MakeTransform(icc, options, error)) return nullptr;
    // A damaged profile is an error even where the pixels pass through.
    Profile checked;
    if (!converted && !icc.empty() && !state->OpenInput(icc, &checked, error)) return nullptr;
    return std::unique_ptr<ColourConverter>(new ColourConverter(std::move(state)));
}

void ColourConverter::ConvertRow(const uint16_t *pixels, uint32_t n, float *y, float *m, float *c,
                                 float *k) const {
    const State &s = *state_;
    if (s.transform) {
        const uint32_t channels = Channels();
        uint16_t cmyk[kChunkPixels * 4];
        for (uint32_t at = 0; at < n; at += kChunkPixels) {
            const uint32_t count = std::min(kChunkPixels, n - at);
            cmsDoTransform(s.transform, pixels + size_t(at) * channels, cmyk, count);
            Spread(cmyk, count, y + at, m + at, c + at, k + at);
        }
    } else if (s.model == PixelModel::kGrey) {
        for (uint32_t i = 0; i < n; ++i) y[i] = m[i] = c[i] = 0, k[i] = 1.0f - pixels[i] * kFull;
    } else {
        Spread(pixels, n, y, m, c, k);
    }
    if (s.limit > 0) LimitInk(s.limit, n, y, m, c, k);
}

}  // namespace frontend
