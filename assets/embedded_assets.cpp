#include "embedded_assets.h"

std::span<const EmbeddedImage> EmbeddedImages() { return {}; }
std::span<const EmbeddedIconImage> EmbeddedProgramIcon() { return {}; }
