#pragma once
#include <QImage>
#include <QString>

namespace orv {

// Reads adventureFolder + name into target; the format is chosen by which of
// ".png", ".jpg", ".bmp", ".gif" occur in the path. An empty name clears target.
void loadImage(const QString& adventureFolder, const QString& name, QImage& target);

// Writes bitmap to adventureFolder + name + "." + extension ("png", "gif",
// "bmp" or "jpg"), magenta being the transparent colour.
void saveImage(const QString& adventureFolder, const QString& name, const QImage& bitmap,
               const QString& extension);

}  // namespace orv
