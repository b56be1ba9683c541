#include <memory>

#include "raster.h"

namespace swathprint {

frontend::ConvertRow ConversionFor(const frontend::PageInfo &page, const frontend::ColourOptions &options,
                                   Exit *code, std::string *error) {
    std::shared_ptr<const frontend::ColourConverter> converter =
        frontend::ColourConverter::Create(page.model, page.icc, options, error);
    if (!converter) {
        // Whose fault: the options', when they fail without the file's profile too.
        std::string ignored;
        const bool options_fail = !frontend::ColourConverter::Create(page.model, {}, options, &ignored);
        *code = options_fail ? kExitUsage : kExitInput;
        return {};
    }
    return [converter](const uint16_t *px, uint32_t n, float *y, float *m, float *c, float *k) {
        converter->ConvertRow(px, n, y, m, c, k);
    };
}

}  // namespace swathprint
