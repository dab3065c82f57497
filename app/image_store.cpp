#include "image_store.h"

#include <jpeglib.h>

#include <QImage>
#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h uses FILE and size_t without including their headers
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "embedded_assets.h"

namespace {

// The pictures are small icons. A header may claim up to 65535 x 65535 pixels, which would ask
// for a 12 GiB bitmap before a single row is read.
constexpr unsigned long long kMaxImagePixels = 1024 * 1024;

std::map<int, std::unique_ptr<QImage>>& Images() {
    static std::map<int, std::unique_ptr<QImage>> images;
    return images;
}

ImageHandleValue HandleOf(const QImage& image) {
    return reinterpret_cast<ImageHandleValue>(&image);
}

// libjpeg hands the error manager back as jpeg_error_mgr*, so it must be the first member.
struct JumpingErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JumpBackToDecoder(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JumpingErrorManager*>(info->err)->jump, 1);
}

void DiscardMessage(j_common_ptr) {}

void SwapRedAndBlue(unsigned char* row, int width) {
    for (int x = 0; x < width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
}

// Returns a new bitmap, or nullptr when the header or the start of the decompression fails.
// A fatal error while the rows are read keeps the bitmap, with the rows not yet read black.
// libjpeg's fatal errors longjmp back into this function, so nothing in it may need a destructor:
// only plain objects and pointers live between the setjmp and the return.
QImage* DecompressJpeg(const unsigned char* data, unsigned long size) {
    jpeg_decompress_struct decompressor;
    JumpingErrorManager errors;
    decompressor.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JumpBackToDecoder;
    errors.manager.output_message = DiscardMessage;

    QImage* volatile bitmap = nullptr;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&decompressor);
        return bitmap;
    }

    jpeg_create_decompress(&decompressor);
    // libjpeg-turbo's memory source answers a read past the end with a fake EOI and a warning.
    jpeg_mem_src(&decompressor, data, size);
    jpeg_read_header(&decompressor, TRUE);
    if (static_cast<unsigned long long>(decompressor.image_width) * decompressor.image_height >
        kMaxImagePixels) {
        jpeg_destroy_decompress(&decompressor);
        return nullptr;
    }
    decompressor.out_color_space = JCS_RGB;
    jpeg_start_decompress(&decompressor);

    const int width = static_cast<int>(decompressor.output_width);
    const int height = static_cast<int>(decompressor.output_height);
    auto* image = new (std::nothrow) QImage(width, height, QImage::Format_BGR888);
    if (image == nullptr || image->isNull()) {
        delete image;
        jpeg_destroy_decompress(&decompressor);
        return nullptr;
    }
    std::memset(image->bits(), 0, static_cast<std::size_t>(image->sizeInBytes()));
    bitmap = image;

    while (decompressor.output_scanline < decompressor.output_height) {
        const int y = static_cast<int>(decompressor.output_scanline);
        JSAMPROW row = image->scanLine(y);
        if (jpeg_read_scanlines(&decompressor, &row, 1) != 1) break;
        SwapRedAndBlue(row, width);
    }
    jpeg_finish_decompress(&decompressor);
    jpeg_destroy_decompress(&decompressor);
    return image;
}

}  // namespace

std::vector<DecodedImage> DecodeEmbeddedImages() {
    std::vector<DecodedImage> decoded;
    for (const EmbeddedImage& image : EmbeddedImages())
        decoded.push_back({image.number, DecodeImage(image.number, image.jpeg)});
    return decoded;
}

ImageHandleValue DecodeImage(int number, std::span<const unsigned char> block) {
    Images().erase(number);
    if (block.size() < 2 || block[0] != 0xFF || block[1] != 0xD8) return 0;

    std::unique_ptr<QImage> bitmap(DecompressJpeg(block.data(), block.size()));
    if (!bitmap) return 0;
    const ImageHandleValue handle = HandleOf(*bitmap);
    Images()[number] = std::move(bitmap);
    return handle;
}

ImageHandleValue ImageHandle(int number) {
    const auto found = Images().find(number);
    return found == Images().end() ? 0 : HandleOf(*found->second);
}

const QImage* ImageFromHandle(ImageHandleValue handle) {
    if (handle == 0) return nullptr;
    for (const auto& [number, image] : Images())
        if (HandleOf(*image) == handle) return image.get();
    return nullptr;
}

void ReleaseImages() { Images().clear(); }
