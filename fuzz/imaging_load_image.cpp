// Picture names come from map files, objects and settings lists, and the
// file under the name may hold anything. The name alone chooses the readers;
// a name naming none leaves the picture alone, only a PNG may fail aloud, and
// whatever is read is a sound picture.
#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "ImagingFuzz.h"
#include "core/Cp1252.h"
#include "imaging/ImageFiles.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace orv;

namespace {

fuzz::ScratchFolder* const folder = &fuzz::scratchFolder();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    folder->clear();
    const bool present = in.ConsumeBool();
    // A name of this folder; the names that would leave it are the callers' to refuse.
    QString name = cp1252::decode(QByteArray::fromStdString(in.ConsumeRandomLengthString(64)));
    name.replace(u'/', u'_');
    name.replace(QChar(0), u'_');
    const QByteArray bytes = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());
    if (present && !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String(".."))
        folder->write(name, bytes);

    static const QImage backdrop = [] {
        QImage picture(16, 16, QImage::Format_RGB32);
        picture.fill(qRgb(10, 20, 30));
        return picture;
    }();
    QImage target = backdrop;
    const bool png = name.contains(QLatin1String(".png"));
    const bool chosen = png || name.contains(QLatin1String(".jpg")) || name.contains(QLatin1String(".bmp")) ||
                        name.contains(QLatin1String(".gif"));
    try {
        loadImage(folder->path(), name, target);
    } catch (const OrvalisError& e) {
        // A PNG that is missing or cannot be read, with one of its reader's two texts.
        FUZZ_REQUIRE(png);
        FUZZ_REQUIRE(e.text() == QLatin1String("Error Reading File!") ||
                     (!present && e.text().startsWith(QLatin1String("Error Opening File "))));
        return 0;
    }
    if (name.isEmpty())
        FUZZ_REQUIRE(target.isNull());
    else if (!chosen)
        FUZZ_REQUIRE(target == backdrop && target.constBits() == backdrop.constBits());
    else if (target.constBits() != backdrop.constBits())
        fuzz::checkPicture(target);
    return 0;
}
