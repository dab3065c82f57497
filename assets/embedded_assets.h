#pragma once

#include <span>

struct EmbeddedImage {
    int number;
    std::span<const unsigned char> jpeg;
};

// The seven JPEG blocks, back to back in one array, in the order 0, 1, 2, 3, 8, 4, 5.
std::span<const EmbeddedImage> EmbeddedImages();

struct EmbeddedIconImage {
    int size;
    std::span<const unsigned char> png;
};

// The program icon as PNG images, largest first.
std::span<const EmbeddedIconImage> EmbeddedProgramIcon();
