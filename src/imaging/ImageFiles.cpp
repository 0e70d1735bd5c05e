#include "ImageFiles.h"

namespace orv {

// Placeholder until the codecs land.
void loadImage(const QString& adventureFolder, const QString& name, QImage& target) {
    if (name.isEmpty()) { target = QImage(); return; }
    QImage read(adventureFolder + name);
    if (!read.isNull()) target = read;
}

void saveImage(const QString& adventureFolder, const QString& name, const QImage& bitmap,
               const QString& extension) {
    bitmap.save(adventureFolder + name + "." + extension);
}

}  // namespace orv
