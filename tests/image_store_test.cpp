#include "image_store.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <QImage>
#include <algorithm>
#include <cstddef>
#include <cstdio>  // jpeglib.h uses FILE and size_t without including their headers
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "embedded_assets.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes EmbeddedBlock(int number) {
    for (const EmbeddedImage& image : EmbeddedImages())
        if (image.number == number) return Bytes(image.jpeg.begin(), image.jpeg.end());
    ADD_FAILURE() << "no embedded image " << number;
    return {};
}

struct Segment {
    std::size_t offset;  // of the marker's FF byte
    unsigned char marker;
    std::span<const unsigned char> payload;  // after the length field
};

// The marker segments from SOI up to and including SOS.
std::vector<Segment> HeaderSegments(std::span<const unsigned char> jpeg) {
    std::vector<Segment> segments;
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        const std::size_t length = jpeg[pos + 2] * 256u + jpeg[pos + 3];
        if (length < 2 || pos + 2 + length > jpeg.size()) break;
        segments.push_back({pos, jpeg[pos + 1], jpeg.subspan(pos + 4, length - 2)});
        if (jpeg[pos + 1] == 0xDA) break;
        pos += 2 + length;
    }
    return segments;
}

std::size_t OffsetOf(std::span<const unsigned char> jpeg, unsigned char marker) {
    for (const Segment& segment : HeaderSegments(jpeg))
        if (segment.marker == marker) return segment.offset;
    ADD_FAILURE() << "no marker FF " << std::hex << int(marker);
    return 0;
}

// Compresses pixels from paint(x, y, pixel) with libjpeg's defaults (4:2:0 for colour).
Bytes EncodeJpeg(int width, int height, bool grayscale,
                 const std::function<void(int x, int y, unsigned char* pixel)>& paint) {
    jpeg_compress_struct compressor;
    jpeg_error_mgr errors;
    compressor.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compressor);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&compressor, &buffer, &size);
    compressor.image_width = static_cast<JDIMENSION>(width);
    compressor.image_height = static_cast<JDIMENSION>(height);
    compressor.input_components = grayscale ? 1 : 3;
    compressor.in_color_space = grayscale ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&compressor);
    jpeg_set_quality(&compressor, 95, TRUE);
    jpeg_start_compress(&compressor, TRUE);
    const int components = compressor.input_components;
    Bytes row(static_cast<std::size_t>(width * components));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) paint(x, y, &row[static_cast<std::size_t>(x * components)]);
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&compressor, &rowPointer, 1);
    }
    jpeg_finish_compress(&compressor);
    jpeg_destroy_compress(&compressor);
    Bytes jpeg(buffer, buffer + size);
    std::free(buffer);
    return jpeg;
}

// Pixel bytes as stored: blue, green, red.
struct StoredPixel {
    int blue, green, red;
};
StoredPixel PixelBytes(const QImage& image, int x, int y) {
    const unsigned char* p = image.constScanLine(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

void ExpectNear(StoredPixel pixel, int red, int green, int blue, int tolerance) {
    EXPECT_NEAR(pixel.red, red, tolerance);
    EXPECT_NEAR(pixel.green, green, tolerance);
    EXPECT_NEAR(pixel.blue, blue, tolerance);
}

class ImageStoreTest : public ::testing::Test {
protected:
    void TearDown() override { ReleaseImages(); }
};

// --- the embedded pictures ---

enum class Corner { Background, LightGreen };

struct Picture {
    int number;
    int width;
    int height;
    Corner topLeft;
};

constexpr Picture kPictures[] = {
    {0, 16, 16, Corner::LightGreen},  // ImageSuccess
    {1, 64, 64, Corner::Background},  // ImageGlobe
    {2, 64, 64, Corner::Background},  // ImageStar
    {3, 32, 32, Corner::Background},  // ImageBin
    {8, 24, 24, Corner::Background},  // ImageFolderAdd
    {4, 16, 16, Corner::Background},  // ImageWarning, grey above its triangle
    {5, 16, 16, Corner::Background},  // ImageError
};

void PrintTo(const Picture& picture, std::ostream* out) { *out << "image " << picture.number; }

class EmbeddedPictureTest : public ImageStoreTest, public ::testing::WithParamInterface<Picture> {};

TEST_P(EmbeddedPictureTest, DecodesToItsSizeAsTopDownBgrBitmap) {
    const Picture picture = GetParam();
    const ImageHandleValue handle = DecodeImage(picture.number, EmbeddedBlock(picture.number));
    ASSERT_NE(handle, 0u);
    const QImage* image = ImageFromHandle(handle);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), picture.width);
    EXPECT_EQ(image->height(), picture.height);
    EXPECT_EQ(image->format(), QImage::Format_BGR888);
    EXPECT_EQ(image->depth(), 24);
    EXPECT_EQ(image->bytesPerLine() % 4, 0);

    const StoredPixel corner = PixelBytes(*image, 0, 0);
    if (picture.topLeft == Corner::Background) {
        ExpectNear(corner, 238, 238, 238, 3);
    } else {
        EXPECT_GE(corner.green, 180);
        EXPECT_GE(corner.green - corner.red, 40);
        EXPECT_GE(corner.green - corner.blue, 40);
    }
}

// A careless re-export (progressive, 4:4:4, optimised tables, no JFIF) is caught here.
TEST_P(EmbeddedPictureTest, BlockHasTheProgramsJpegEncoding) {
    const Picture picture = GetParam();
    const Bytes block = EmbeddedBlock(picture.number);
    ASSERT_GE(block.size(), 4u);
    EXPECT_EQ(block[0], 0xFF);
    EXPECT_EQ(block[1], 0xD8);
    EXPECT_EQ(block[block.size() - 2], 0xFF);
    EXPECT_EQ(block[block.size() - 1], 0xD9);

    int quantisationTables = 0;
    int huffmanTables = 0;
    int baselineFrames = 0;
    int otherFrames = 0;
    bool jfif = false;
    bool exif = false;
    for (const Segment& segment : HeaderSegments(block)) {
        const auto payload = segment.payload;
        switch (segment.marker) {
            case 0xE0:
                if (payload.size() >= 12 &&
                    std::equal(payload.begin(), payload.begin() + 5, "JFIF")) {
                    jfif = true;
                    EXPECT_EQ(payload[5], 1) << "JFIF major version";
                    EXPECT_EQ(payload[6], 1) << "JFIF minor version";
                    EXPECT_EQ(payload[7], 1) << "density in dots per inch";
                    EXPECT_EQ(payload[8] * 256 + payload[9], 96);
                    EXPECT_EQ(payload[10] * 256 + payload[11], 96);
                }
                break;
            case 0xE1:
                exif = exif || (payload.size() >= 6 &&
                                std::equal(payload.begin(), payload.begin() + 6, "Exif\0\0"));
                break;
            case 0xDB:
                for (std::size_t pos = 0; pos < payload.size(); ++quantisationTables)
                    pos += 1 + ((payload[pos] >> 4) != 0 ? 128 : 64);
                break;
            case 0xC4:
                for (std::size_t pos = 0; pos + 17 <= payload.size(); ++huffmanTables) {
                    int codes = 0;
                    for (std::size_t i = 1; i <= 16; ++i) codes += payload[pos + i];
                    pos += 17 + static_cast<std::size_t>(codes);
                }
                break;
            case 0xC0:
                ++baselineFrames;
                ASSERT_GE(payload.size(), 15u);
                EXPECT_EQ(payload[0], 8) << "sample precision";
                EXPECT_EQ(payload[1] * 256 + payload[2], picture.height);
                EXPECT_EQ(payload[3] * 256 + payload[4], picture.width);
                ASSERT_EQ(payload[5], 3) << "components";
                EXPECT_EQ(payload[7], 0x22) << "luma sampled 2 x 2";
                EXPECT_EQ(payload[10], 0x11) << "Cb sampled 1 x 1";
                EXPECT_EQ(payload[13], 0x11) << "Cr sampled 1 x 1";
                break;
            case 0xC1:
            case 0xC2:
            case 0xC3:
            case 0xC5:
            case 0xC6:
            case 0xC7:
            case 0xC9:
            case 0xCA:
            case 0xCB:
            case 0xCD:
            case 0xCE:
            case 0xCF:
                ++otherFrames;
                break;
            default:
                break;
        }
    }
    EXPECT_TRUE(jfif);
    EXPECT_TRUE(exif);
    EXPECT_EQ(quantisationTables, 2);
    EXPECT_EQ(huffmanTables, 4);
    EXPECT_EQ(baselineFrames, 1);
    EXPECT_EQ(otherFrames, 0);
}

INSTANTIATE_TEST_SUITE_P(AllSeven, EmbeddedPictureTest, ::testing::ValuesIn(kPictures),
                         [](const auto& info) {
                             return "Image" + std::to_string(info.param.number);
                         });

TEST(EmbeddedAssetsTest, BlocksLieBackToBackInDecodingOrder) {
    const auto images = EmbeddedImages();
    std::vector<int> numbers;
    for (const EmbeddedImage& image : images) numbers.push_back(image.number);
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2, 3, 8, 4, 5}));
    for (std::size_t i = 1; i < images.size(); ++i)
        EXPECT_EQ(images[i - 1].jpeg.data() + images[i - 1].jpeg.size(), images[i].jpeg.data());
}

TEST(EmbeddedAssetsTest, ProgramIconHasNineSquarePngsLargestFirst) {
    std::vector<int> sizes;
    for (const EmbeddedIconImage& icon : EmbeddedProgramIcon()) {
        sizes.push_back(icon.size);
        QImage image;
        ASSERT_TRUE(image.loadFromData(icon.png.data(), static_cast<int>(icon.png.size()), "PNG"));
        EXPECT_EQ(image.size(), QSize(icon.size, icon.size));
        EXPECT_TRUE(image.hasAlphaChannel());
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "transparent corner at " << icon.size;
    }
    EXPECT_EQ(sizes, (std::vector<int>{128, 96, 80, 72, 64, 48, 32, 24, 16}));
}

// --- the store ---

TEST_F(ImageStoreTest, DecodeEmbeddedImagesHandsBackTheHandlesTheStoreHolds) {
    const std::vector<DecodedImage> decoded = DecodeEmbeddedImages();
    std::vector<int> numbers;
    for (const DecodedImage& image : decoded) {
        numbers.push_back(image.number);
        EXPECT_NE(image.handle, 0u);
        EXPECT_EQ(ImageHandle(image.number), image.handle);
    }
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2, 3, 8, 4, 5}));

    const QImage* folder = ImageFromHandle(ImageHandle(8));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->size(), QSize(24, 24));
    for (int unused : {6, 7, 9, -1}) EXPECT_EQ(ImageHandle(unused), 0u) << unused;
    EXPECT_EQ(ImageFromHandle(0), nullptr);
}

TEST_F(ImageStoreTest, ReleaseImagesEmptiesTheStore) {
    const std::vector<DecodedImage> decoded = DecodeEmbeddedImages();
    ReleaseImages();
    for (const DecodedImage& image : decoded) {
        EXPECT_EQ(ImageHandle(image.number), 0u) << image.number;
        EXPECT_EQ(ImageFromHandle(image.handle), nullptr) << image.number;
    }
}

TEST_F(ImageStoreTest, DecodingAgainReplacesTheHeldImage) {
    ASSERT_NE(DecodeImage(8, EmbeddedBlock(8)), 0u);
    const ImageHandleValue star = DecodeImage(8, EmbeddedBlock(2));
    ASSERT_NE(star, 0u);
    EXPECT_EQ(ImageHandle(8), star);
    ASSERT_NE(ImageFromHandle(star), nullptr);
    EXPECT_EQ(ImageFromHandle(star)->size(), QSize(64, 64));
    EXPECT_EQ(ImageHandle(2), 0u) << "the block's own number is not touched";
}

// Blocks DecodeImage must refuse. Each is decoded into a number that held an image, which must
// then hold none: the old image is released before the new decoding is tried.
struct BadBlock {
    const char* name;
    std::function<Bytes()> make;
};

void PrintTo(const BadBlock& block, std::ostream* out) { *out << block.name; }

Bytes WithFrameByte(int index, unsigned char value) {
    Bytes block = EmbeddedBlock(2);
    block[OffsetOf(block, 0xC0) + 4 + static_cast<std::size_t>(index)] = value;
    return block;
}

// The frame header claims this size; the data behind it stays that of a small picture.
Bytes WithClaimedSize(int width, int height) {
    Bytes block = EmbeddedBlock(2);
    const std::size_t size = OffsetOf(block, 0xC0) + 5;  // height, then width, big-endian
    block[size] = static_cast<unsigned char>(height >> 8);
    block[size + 1] = static_cast<unsigned char>(height & 0xFF);
    block[size + 2] = static_cast<unsigned char>(width >> 8);
    block[size + 3] = static_cast<unsigned char>(width & 0xFF);
    return block;
}

const BadBlock kBadBlocks[] = {
    {"Empty", [] { return Bytes{}; }},
    {"OneByte", [] { return Bytes{0xFF}; }},
    {"NotStartingWithSoi", [] { return Bytes{'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xD8}; }},
    {"SoiNotAtTheStart",
     [] {
         Bytes block = EmbeddedBlock(2);
         block.insert(block.begin(), 0x00);
         return block;
     }},
    {"OnlyStartAndEnd",
     [] {
         return Bytes{0xFF, 0xD8, 0xFF, 0xD9};
     }},
    {"HeaderCutBeforeTheFrame",
     [] {
         Bytes block = EmbeddedBlock(2);
         block.resize(OffsetOf(block, 0xC0));
         return block;
     }},
    {"TwelveBitSamples", [] { return WithFrameByte(0, 12); }},
    {"ZeroHeightAndWidth",
     [] {
         Bytes block = EmbeddedBlock(2);
         std::fill_n(block.begin() + static_cast<std::ptrdiff_t>(OffsetOf(block, 0xC0)) + 5, 4, 0);
         return block;
     }},
    {"UnknownQuantisationTable", [] { return WithFrameByte(8, 3); }},
    // Found by fuzzing: the bitmap for such a header would take gigabytes.
    {"LargestClaimedSize", [] { return WithClaimedSize(65535, 65535); }},
    {"OnePixelRowBeyondTheBound", [] { return WithClaimedSize(1024, 1025); }},
};

class BadBlockTest : public ImageStoreTest, public ::testing::WithParamInterface<BadBlock> {};

TEST_P(BadBlockTest, GivesZeroAndLeavesTheNumberEmpty) {
    const ImageHandleValue old = DecodeImage(3, EmbeddedBlock(3));
    ASSERT_NE(old, 0u);
    EXPECT_EQ(DecodeImage(3, GetParam().make()), 0u);
    EXPECT_EQ(ImageHandle(3), 0u);
    EXPECT_EQ(ImageFromHandle(old), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Refused, BadBlockTest, ::testing::ValuesIn(kBadBlocks),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageStoreTest, ClaimedSizeUpToTheBoundIsDecoded) {
    const QImage* image = ImageFromHandle(DecodeImage(2, WithClaimedSize(1024, 1024)));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSize(1024, 1024));
}

TEST_F(ImageStoreTest, TruncatedBlockDecodesFullSizeWithTheMissingRowsGrey) {
    const Bytes whole = EmbeddedBlock(1);
    const QImage full = *ImageFromHandle(DecodeImage(1, whole));
    const std::size_t scanStart = OffsetOf(whole, 0xDA);
    // Cut in the middle of the scan data: the decoder gets a fake end-of-image and goes on.
    const Bytes truncated(
        whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>((scanStart + whole.size()) / 2));

    ::testing::internal::CaptureStderr();
    const QImage* image = ImageFromHandle(DecodeImage(1, truncated));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "the decoder's warning is not shown";
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->size(), QSize(64, 64));
    EXPECT_EQ(std::memcmp(image->constScanLine(0), full.constScanLine(0), 64 * 3), 0)
        << "rows before the cut decode as in the whole block";
    // libjpeg leaves the coefficients it gets no data for at zero: uniform mid-grey, not black.
    ExpectNear(PixelBytes(*image, 0, 63), 128, 128, 128, 1);
    ExpectNear(PixelBytes(*image, 63, 63), 128, 128, 128, 1);
}

TEST_F(ImageStoreTest, FatalErrorAfterTheRowsKeepsTheDecodedBitmap) {
    const Bytes whole = EmbeddedBlock(5);
    const QImage full = *ImageFromHandle(DecodeImage(5, whole));
    // A second frame header after the scan is fatal only when the decompression is finished.
    Bytes block(whole.begin(), whole.end() - 2);
    const std::size_t frame = OffsetOf(whole, 0xC0);
    const std::size_t frameLength = whole[frame + 2] * 256u + whole[frame + 3];
    block.insert(block.end(), whole.begin() + static_cast<std::ptrdiff_t>(frame),
                 whole.begin() + static_cast<std::ptrdiff_t>(frame + 2 + frameLength));
    block.insert(block.end(), {0xFF, 0xD9});

    const ImageHandleValue handle = DecodeImage(5, block);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(ImageHandle(5), handle);
    EXPECT_EQ(*ImageFromHandle(handle), full);
}

TEST_F(ImageStoreTest, GrayscaleJpegGivesThreeEqualChannels) {
    const Bytes gray = EncodeJpeg(24, 16, true, [](int x, int, unsigned char* pixel) {
        pixel[0] = static_cast<unsigned char>(x * 10);
    });
    const QImage* image = ImageFromHandle(DecodeImage(4, gray));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format(), QImage::Format_BGR888);
    for (int y = 0; y < image->height(); ++y) {
        for (int x = 0; x < image->width(); ++x) {
            const StoredPixel pixel = PixelBytes(*image, x, y);
            ASSERT_EQ(pixel.red, pixel.green) << x << "," << y;
            ASSERT_EQ(pixel.green, pixel.blue) << x << "," << y;
        }
    }
    EXPECT_NEAR(PixelBytes(*image, 23, 8).green, 230, 4) << "the gradient survives";
}

TEST_F(ImageStoreTest, ColourBytesAreStoredBlueGreenRed) {
    const Bytes colour = EncodeJpeg(16, 16, false, [](int, int, unsigned char* pixel) {
        pixel[0] = 200;
        pixel[1] = 60;
        pixel[2] = 20;
    });
    const QImage* image = ImageFromHandle(DecodeImage(0, colour));
    ASSERT_NE(image, nullptr);
    ExpectNear(PixelBytes(*image, 7, 7), 200, 60, 20, 4);
    EXPECT_EQ(image->pixelColor(7, 7).red(), PixelBytes(*image, 7, 7).red);
}

}  // namespace
