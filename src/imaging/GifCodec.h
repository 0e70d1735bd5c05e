#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>

namespace orv {

// GIF reading and writing over giflib. Reading gives the first frame as an
// RGB32 picture of the logical screen's size; writing gives a one-frame
// GIF89a whose background and transparent entry are the key colour.
// Failures are OrvalisErrors.
class GifCodec {
public:
    static QImage read(const QString& path);
    static QImage decode(const QByteArray& file);

    static QByteArray encode(const QImage& bitmap);
    static void write(const QString& path, const QImage& bitmap);
};

}  // namespace orv
