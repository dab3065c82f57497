#include "text_codec.h"

#include <array>

namespace {

// 0x80..0x9F; 0 where Windows-1252 leaves the byte undefined (such bytes map to U+0080..U+009F).
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t DecodeByte(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F && kHighControls[byte - 0x80] != 0) {
        return kHighControls[byte - 0x80];
    }
    return byte;
}

// The byte for a UTF-16 unit, or -1 when Windows-1252 has none.
int EncodeUnit(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == unit || (kHighControls[i] == 0 && unit == 0x80 + i)) return 0x80 + i;
    }
    return -1;
}

template <typename Unencodable>
std::string Encode(const QString& text, Unencodable&& onUnencodable) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int byte = EncodeUnit(text.at(i).unicode());
        if (byte >= 0) {
            bytes.push_back(static_cast<char>(byte));
            continue;
        }
        // One character, a surrogate pair included.
        qsizetype length = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            length = 2;
        }
        onUnencodable(bytes, text.mid(i, length));
        i += length - 1;
    }
    return bytes;
}

}  // namespace

QString FromWindows1252(const std::string& bytes) {
    QString text;
    text.resize(static_cast<qsizetype>(bytes.size()));
    QChar* out = text.data();
    for (unsigned char byte : bytes) *out++ = QChar(DecodeByte(byte));
    return text;
}

std::string ToWindows1252(const QString& text) {
    return Encode(text, [](std::string& bytes, const QString&) { bytes.push_back('?'); });
}

std::string ToWindows1252Url(const QString& text) {
    return Encode(text, [](std::string& bytes, const QString& character) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        for (unsigned char byte : character.toUtf8()) {
            bytes.push_back('%');
            bytes.push_back(kHex[byte >> 4]);
            bytes.push_back(kHex[byte & 0x0F]);
        }
    });
}
