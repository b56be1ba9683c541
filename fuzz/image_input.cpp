// swathprint's image input: a PNG or TIFF file of any content.
#include "fuzz_input.h"
#include "image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = fuzz::HiddenFile("image");
    fuzz::WriteBytes(path, data, size);
    swathprint::Image image;
    std::string error;
    if (swathprint::ReadImage(path, &image, &error)) {
        // The image holds every sample its size promises, and no more.
        if (image.samples.size() != size_t(image.width) * image.height * image.Channels()) std::abort();
    }
    return 0;
}
