#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>

namespace orv {

// JPEG reading and writing over libjpeg. Reading gives an RGB32 picture;
// writing gives a colour, sequential (baseline) file of quality 90. Failures
// are OrvalisErrors; a damaged or truncated file is a failure, never a
// picture with invented pixels.
class JpegCodec {
public:
    static constexpr int Quality = 90;

    static QImage read(const QString& path);
    static QImage decode(const QByteArray& file);

    // Decodes at the smallest of libjpeg's scales (1/8 to 8/8) that still
    // gives at least `least` pixels on each side, or the picture's own size
    // on a side shorter than that; for pictures that are only shown smaller.
    static QImage readCovering(const QString& path, QSize least);
    static QImage decodeCovering(const QByteArray& file, QSize least);

    static QByteArray encode(const QImage& bitmap);
    static void write(const QString& path, const QImage& bitmap);
};

}  // namespace orv
