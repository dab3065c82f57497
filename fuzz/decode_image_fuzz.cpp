// DecodeImage on any bytes: it never crashes, never reads outside the block, and what it hands
// back is either no image or a whole 24-bit bitmap that the store holds under the number.

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_check.h"
#include "image_store.h"

namespace {
constexpr int kNumber = 8;
volatile unsigned g_sink;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ImageHandleValue handle =
        DecodeImage(kNumber, std::span<const unsigned char>(data, size));
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) FUZZ_CHECK(handle == 0);
    FUZZ_CHECK(ImageHandle(kNumber) == handle);

    if (handle != 0) {
        const QImage* image = ImageFromHandle(handle);
        FUZZ_CHECK(image != nullptr);
        FUZZ_CHECK(image->format() == QImage::Format_BGR888);
        FUZZ_CHECK(image->width() > 0 && image->height() > 0);
        // Every row is there in full, also those a broken stream did not reach.
        unsigned sum = 0;
        for (int y = 0; y < image->height(); ++y) {
            const uchar* row = image->constScanLine(y);
            for (int x = 0; x < 3 * image->width(); ++x) sum += row[x];
        }
        g_sink = sum;
    }
    ReleaseImages();
    FUZZ_CHECK(ImageHandle(kNumber) == 0);
    return 0;
}
