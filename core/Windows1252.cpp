#include "core/Windows1252.h"

#include "core/ByteScan.h"

#include <algorithm>
#include <cstring>

namespace vrx {

namespace {

constexpr char16_t HighHalf[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

constexpr std::array<char16_t, 256> makeWindows1252()
{
    std::array<char16_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = static_cast<char16_t>(b);
    for (int b = 0x80; b < 0xA0; ++b)
        t[b] = HighHalf[b - 0x80];
    return t;
}
constexpr std::array<char16_t, 256> Table = makeWindows1252();

} // namespace

char16_t windows1252ToUnicode(unsigned char byte)
{
    return Table[byte];
}

const std::array<char16_t, 256>& windows1252Table()
{
    return Table;
}

namespace {

// UTF-8 of every Windows-1252 byte, built from the one decoding table.
struct Utf8Table {
    char bytes[256][3];
    unsigned char length[256];
    Utf8Table()
    {
        for (int b = 0; b < 256; ++b) {
            const char16_t c = Table[b];
            if (c < 0x80) {
                bytes[b][0] = static_cast<char>(c);
                length[b] = 1;
            } else if (c < 0x800) {
                bytes[b][0] = static_cast<char>(0xC0 | (c >> 6));
                bytes[b][1] = static_cast<char>(0x80 | (c & 0x3F));
                length[b] = 2;
            } else {
                bytes[b][0] = static_cast<char>(0xE0 | (c >> 12));
                bytes[b][1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                bytes[b][2] = static_cast<char>(0x80 | (c & 0x3F));
                length[b] = 3;
            }
        }
    }
};

} // namespace

std::string displayTextToUtf8(std::string_view bytes, LineEnds lineEnds)
{
    std::string out;
    appendDisplayTextUtf8(out, bytes, lineEnds);
    return out;
}

void appendDisplayTextUtf8(std::string& out, std::string_view bytes, LineEnds lineEnds)
{
    static const Utf8Table table;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t o = out.size();
    out.resize(o + n + n / 8 + 16);
    for (size_t i = 0; i < n;) {
        if (out.size() - o < 16) {
            out.resize(out.size() + (n - i) + (n - i) / 4 + 16);
            continue;
        }
        // Plain ASCII without CR is copied as it stands.
        const size_t plain = std::min(scan::untilHighOrCr(in + i, n - i), out.size() - o - 3);
        std::memcpy(out.data() + o, in + i, plain);
        o += plain;
        i += plain;
        if (i >= n || out.size() - o < 3)
            continue;
        const unsigned char b = in[i++];
        if (b < 0x80) {
            // The display's lines are parted by CR LF; a CR there is always followed by LF.
            if (!(b == '\r' && lineEnds == LineEnds::Lf && i < n && in[i] == '\n'))
                out[o++] = static_cast<char>(b);
            continue;
        }
        std::memcpy(out.data() + o, table.bytes[b], 3);
        o += table.length[b];
    }
    out.resize(o);

}

std::optional<unsigned char> windows1252Byte(char16_t c)
{
    const std::array<char16_t, 256>& table = windows1252Table();
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<unsigned char>(c); // the code page agrees with Unicode here
    for (int b = 0x80; b < 0xA0; ++b)
        if (table[b] == c)
            return static_cast<unsigned char>(b);
    return std::nullopt;
}

} // namespace vrx
