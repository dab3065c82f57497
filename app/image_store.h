#pragma once

#include <cstdint>
#include <span>

#include "window_ops.h"

class QImage;

// Opaque non-zero value for a decoded image; 0 means no image.
using ImageHandleValue = std::uintptr_t;

// Decodes the seven embedded images in the order 0, 1, 2, 3, 8, 4, 5.
void DecodeEmbeddedImages();
// Decodes one JPEG block into the image held under number (releasing what it held first).
ImageHandleValue DecodeImage(int number, std::span<const unsigned char> block);
ImageHandleValue ImageHandle(int number);
// The bitmap behind a handle, or nullptr for 0 / unknown handles.
const QImage* ImageFromHandle(ImageHandleValue handle);
void ReleaseImages();
