#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

namespace orv::test {

// A game-screen-like picture: gradients, shapes and (when asked) magenta
// areas; far more than 256 colours.
QImage scene(int width, int height, bool withKeyColour);

// A flat-coloured picture with a handful of colours, magenta among them.
QImage fewColours(int width, int height);

QByteArray fileBytes(const QString& path);
void putFile(const QString& path, const QByteArray& bytes);

// A PNG built directly with libpng, for the layouts the editor never writes.
struct PngLayout {
    int colourType;
    int bitDepth;
    bool interlaced = false;
    std::vector<unsigned char> palette;  // R, G, B triples
    std::vector<int> transparency;  // palette alphas, or the grey or R, G, B samples
};
QByteArray pngFile(int width, int height, const PngLayout& layout,
                   const std::vector<std::vector<unsigned char>>& rows);

// Mean absolute channel difference.
double meanError(const QImage& a, const QImage& b);

}  // namespace orv::test
