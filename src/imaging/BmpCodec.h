#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>

namespace orv {

// BMP files through Qt's own bitmap support.
class BmpCodec {
public:
    // An RGB32 picture of the file's size; OrvalisError when the file cannot
    // be read, is truncated or claims an unreasonable size.
    static QImage read(const QString& path);
    static QImage decode(const QByteArray& file);

    // Writes the bitmap in its own pixel format through the durable write;
    // a failure raises WriteError and leaves the file as it was.
    static void write(const QString& path, const QImage& bitmap);
};

}  // namespace orv
