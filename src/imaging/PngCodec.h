#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>

namespace orv {

// PNG reading and writing over libpng. Every failure is an OrvalisError with
// the fixed texts "Error Opening File <path>!", "Error Reading File!" and
// "Error Writing PNG File!"; a file that cannot be opened for writing has the
// reason on a second line. A write that fails once the file is open (a full
// disk) keeps the safe write's own text, which names the file.
class PngCodec {
public:
    // Reads the file into a new RGB32 picture of the PNG's size. Pixels with
    // alpha are blended over `backdrop` when it has the PNG's size, else over
    // white: so a picture reloaded in place keeps showing through its
    // transparent parts.
    static QImage read(const QString& path, const QImage& backdrop = QImage());
    static QImage decode(const QByteArray& file, const QImage& backdrop = QImage());

    // Writes an 8-bit PNG: RGBA with alpha 0 exactly on the pixels of colour
    // `transparent`, or plain RGB when there is none.
    static void write(const QString& path, const QImage& bitmap, std::optional<QRgb> transparent);
};

}  // namespace orv
