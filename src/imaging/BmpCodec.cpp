#include "BmpCodec.h"

#include "Picture.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

namespace orv {
namespace {

[[noreturn]] void failRead() {
    throw OrvalisError(QStringLiteral("Error Reading BMP File!"));
}

// Qt's bitmap reader stops quietly at the end of a short file and returns a
// picture whose missing rows are left as they happen to be. This buffer
// remembers whether the reader ever asked for bytes the file does not have.
class TruncationWatch : public QBuffer {
public:
    explicit TruncationWatch(const QByteArray& bytes) {
        setData(bytes);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool ranShort() const { return shortRead; }

    // Pixel data said to start past the end of the file is a truncation too.
    bool seek(qint64 position) override {
        if (position > data().size()) {
            shortRead = true;
            return false;
        }
        return QBuffer::seek(position);
    }

protected:
    qint64 readData(char* data, qint64 size) override {
        const qint64 got = QBuffer::readData(data, size);
        if (got < size)
            shortRead = true;
        return got;
    }

private:
    bool shortRead = false;
};

}  // namespace

QImage BmpCodec::read(const QString& path) {
    return decode(readFileBytes(path));
}

QImage BmpCodec::decode(const QByteArray& file) {
    TruncationWatch device(file);
    QImageReader reader(&device, "bmp");
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!acceptablePictureSize(size.width(), size.height()))
        failRead();
    QImage picture;
    if (!reader.read(&picture) || device.ranShort() || picture.size() != size)
        failRead();
    return picture.convertToFormat(QImage::Format_RGB32);
}

void BmpCodec::write(const QString& path, const QImage& bitmap) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(bitmap))
        throw OrvalisError(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
                               .arg(path, writer.errorString()));
    writeFileSafely(path, bytes);
}

}  // namespace orv
