#include "PaletteReducer.h"

#include "core/OrvalisError.h"

#include <libimagequant.h>

#include <array>
#include <memory>

namespace orv {
namespace {

constexpr QRgb ColourBits = 0x00FFFFFFu;
constexpr int MostExactColours = 255;  // one entry stays for the key colour

// Distinct colours of a picture while there are few: open addressing over
// 24-bit colours, with a slot value that can never be a colour as the hole.
class SmallColourSet {
public:
    SmallColourSet() { keys.fill(Hole); }

    // The colour's palette index, added if new; -1 once the set is full.
    int indexOf(QRgb colour) {
        unsigned slot = (colour * 2654435761u) >> (32 - SlotBits);
        while (keys[slot] != Hole) {
            if (keys[slot] == colour)
                return values[slot];
            slot = (slot + 1) & (Slots - 1);
        }
        if (colours.size() == MostExactColours)
            return -1;
        keys[slot] = colour;
        colours.append(colour);
        values[slot] = uchar(colours.size());  // index 0 is the key colour
        return values[slot];
    }

    QList<QRgb> colours;

private:
    static constexpr int SlotBits = 10;
    static constexpr unsigned Slots = 1u << SlotBits;
    static constexpr QRgb Hole = 0xFFFFFFFFu;
    std::array<QRgb, Slots> keys;
    std::array<uchar, Slots> values{};
};

bool reduceExactly(const QImage& picture, QRgb key, IndexedPicture& out) {
    SmallColourSet set;
    uchar* index = out.indices.data();
    for (int y = 0; y < picture.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        QRgb last = key;
        uchar lastIndex = 0;
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb colour = line[x] & ColourBits;
            if (colour != last) {
                const int found = colour == key ? 0 : set.indexOf(colour);
                if (found < 0)
                    return false;
                last = colour;
                lastIndex = uchar(found);
            }
            *index++ = lastIndex;
        }
    }
    out.palette.append(key | 0xFF000000u);
    for (QRgb colour : set.colours)
        out.palette.append(colour | 0xFF000000u);
    return true;
}

int distance(QRgb a, QRgb b) {
    const int r = qRed(a) - qRed(b);
    const int g = qGreen(a) - qGreen(b);
    const int bl = qBlue(a) - qBlue(b);
    return r * r + g * g + bl * bl;
}

uchar nearestOpaque(const QList<QRgb>& palette, QRgb colour) {
    int best = 1;
    for (int i = 2; i < palette.size(); ++i)
        if (distance(palette[i], colour) < distance(palette[best], colour))
            best = i;
    return uchar(best);
}

struct LiqAttrDeleter {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
};
struct LiqImageDeleter {
    void operator()(liq_image* p) const { liq_image_destroy(p); }
};
struct LiqResultDeleter {
    void operator()(liq_result* p) const { liq_result_destroy(p); }
};

[[noreturn]] void failReduce() {
    throw OrvalisError(QStringLiteral("Error Writing GIF File: colour reduction failed"));
}

void reduceByQuantiser(const QImage& picture, QRgb key, IndexedPicture& out) {
    const int width = picture.width();
    const int height = picture.height();
    // The key colour goes in as fully transparent, so the quantiser spends no
    // entry on it and keeps it apart from every real colour.
    std::vector<liq_color> pixels(size_t(width) * size_t(height));
    liq_color* p = pixels.data();
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < width; ++x, ++p) {
            const QRgb colour = line[x];
            if ((colour & ColourBits) == key)
                *p = liq_color{0, 0, 0, 0};
            else
                *p = liq_color{uchar(qRed(colour)), uchar(qGreen(colour)), uchar(qBlue(colour)), 255};
        }
    }

    std::unique_ptr<liq_attr, LiqAttrDeleter> attr(liq_attr_create());
    // Speed 8 of 10 keeps saving a screen-sized picture well under a second
    // at a small cost in accuracy; full dithering keeps gradients from banding.
    if (!attr || liq_set_max_colors(attr.get(), MostExactColours) != LIQ_OK
        || liq_set_speed(attr.get(), 8) != LIQ_OK)
        failReduce();
    std::unique_ptr<liq_image, LiqImageDeleter> image(
        liq_image_create_rgba(attr.get(), pixels.data(), width, height, 0));
    if (!image)
        failReduce();
    liq_result* quantised = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &quantised) != LIQ_OK || !quantised)
        failReduce();
    std::unique_ptr<liq_result, LiqResultDeleter> result(quantised);
    liq_set_dithering_level(result.get(), 1.0f);
    if (liq_write_remapped_image(result.get(), image.get(), out.indices.data(), out.indices.size())
        != LIQ_OK)
        failReduce();
    const liq_palette* palette = liq_get_palette(result.get());
    if (!palette)
        failReduce();

    // Index 0 is the key colour; the quantiser's opaque entries follow. An
    // entry that came out as the key colour itself (averaging near-magenta
    // shades) is moved off it, or its pixels would turn transparent.
    out.palette.append(key | 0xFF000000u);
    std::array<int, 256> renumbered;
    renumbered.fill(-1);
    for (unsigned i = 0; i < palette->count && i < 256; ++i) {
        const liq_color& entry = palette->entries[i];
        if (entry.a < 128)
            continue;
        QRgb colour = qRgb(entry.r, entry.g, entry.b);
        if ((colour & ColourBits) == key)
            colour = qRgb(qRed(key) > 0 ? qRed(key) - 1 : 1, qGreen(key), qBlue(key));
        renumbered[i] = int(out.palette.size());
        out.palette.append(colour);
    }
    if (out.palette.size() == 1)
        out.palette.append(qRgb(0, 0, 0));

    const liq_color* source = pixels.data();
    for (uchar& index : out.indices) {
        const liq_color& pixel = *source++;
        if (pixel.a == 0)
            index = 0;
        else if (renumbered[index] > 0)
            index = uchar(renumbered[index]);
        else  // dithered onto the quantiser's transparent entry
            index = nearestOpaque(out.palette, qRgb(pixel.r, pixel.g, pixel.b));
    }
}

}  // namespace

IndexedPicture PaletteReducer::reduce(const QImage& picture, QRgb key) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    key &= ColourBits;
    IndexedPicture out;
    out.width = rgb.width();
    out.height = rgb.height();
    out.transparentIndex = 0;
    out.indices.resize(size_t(out.width) * size_t(out.height));
    if (!reduceExactly(rgb, key, out))
        reduceByQuantiser(rgb, key, out);
    return out;
}

}  // namespace orv
