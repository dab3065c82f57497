#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "window_ops.h"

class QImage;

// Opaque non-zero value for a decoded image; 0 means no image.
using ImageHandleValue = std::uintptr_t;

struct DecodedImage {
    int number;
    ImageHandleValue handle;  // 0 when the block did not decode
};

// Decodes the embedded blocks in the order they lie in the program (0, 1, 2, 3, 8, 4, 5) and
// hands back what each decoding returned.
std::vector<DecodedImage> DecodeEmbeddedImages();
// Decodes one JPEG block into a 24-bit top-down bitmap (QImage::Format_BGR888) held under number.
// Whatever the number held is released first, so a failed decoding leaves it empty. Returns the
// new bitmap's handle, or 0 when the block is not a JPEG, its header cannot be read or it has
// more than 1024 x 1024 pixels.
ImageHandleValue DecodeImage(int number, std::span<const unsigned char> block);
// The handle of the image held under number, or 0.
ImageHandleValue ImageHandle(int number);
// The bitmap behind a handle, or nullptr for 0 and handles the store does not hold.
const QImage* ImageFromHandle(ImageHandleValue handle);
// Releases every bitmap; the store is empty afterwards.
void ReleaseImages();
