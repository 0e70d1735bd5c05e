#pragma once
#include "Picture.h"

#include <QImage>
#include <QString>

namespace orv {

// Reads adventureFolder + name into target as an RGB32 picture. The format
// is chosen by which of ".png", ".jpg", ".bmp", ".gif" occur anywhere in the
// path (case-sensitive), each one that occurs being tried in that order. A
// PNG failure is thrown as OrvalisError; a JPEG, BMP or GIF that cannot be
// read leaves target as it was. An empty name clears target.
void loadImage(const QString& adventureFolder, const QString& name, QImage& target);

// As loadImage into an empty picture, for a picture shown no larger than
// `box`: a JPEG is decoded at the smallest scale that still gives box pixels
// on each side, or its own where it is smaller. So the picture keeps every
// side that fits the box and stays wider or taller than the box on every
// side that does not. Safe to call from several threads at once.
QImage loadImageForBox(const QString& adventureFolder, const QString& name, QSize box);

// Writes bitmap to adventureFolder + name + "." + extension ("png", "gif",
// "bmp" or "jpg"), magenta being the transparent colour. Any other extension
// writes nothing. PNG, JPEG and GIF failures are thrown as OrvalisError; a
// BMP that cannot be written is ignored. A PNG that cannot be opened for
// writing says "Error Opening File " + that path + "!", the reason below.
void saveImage(const QString& adventureFolder, const QString& name, const QImage& bitmap,
               const QString& extension);

}  // namespace orv
