#pragma once
#include <QColor>
#include <QRect>
#include <QString>
#include <QStringList>

namespace orv {

// The five layout areas of the game panel, as the game player reads them
// from the adventure's settings list.
enum class PanelArea { Visor, Tela, Msg1, Func, Frase };

struct PanelAreaInfo {
    PanelArea area;
    const char* code;        // "vsr", "tla", "msg", "fnc", "cmd"
    const char* labelName;   // Label35 ...
    const char* caption;     // "Visor:" ...
    int leftLine, topLine, widthLine, heightLine;
    // Value labels for left, top, width, height; Tela has no position labels.
    const char* valueLabels[4];
    QColor paint;
};

namespace PanelLayout {

// The highest line the editor touches is 97.
constexpr int kRequiredLines = 98;

const QList<PanelAreaInfo>& areas();
const PanelAreaInfo& info(PanelArea area);

// Throws OrvalisError when the list is too short to hold the layout lines.
void requireLines(const QStringList& settings);
// Layout numbers are pixels. Beyond this, either way, a line is refused, so
// that no sum of positions, sizes and pointer moves can overflow.
constexpr int kNumberLimit = 1000000;

// The decimal number in a layout line; throws OrvalisError when it is not one
// or lies beyond kNumberLimit.
int number(const QStringList& settings, int line);

// Where the area's rectangle stands on an image of the given size: Msg1 is
// stored relative to the Visor, Tela stands at the Visor's corner, and a
// rectangle that would run past the bottom or right edge is pulled back.
QRect placeRect(const QStringList& settings, PanelArea area, QSize image);

// The rectangle after the pointer moved by delta. Tela does not move.
QRect moveRect(PanelArea area, QRect rect, QPoint delta, QSize image);

// The size handle's top-left corner for a rectangle.
QPoint handleCorner(QRect rect);
// The rectangle after its handle moved by delta; never smaller than 8 x 8 and
// the handle never past the image's last 8 pixels.
QRect resizeRect(QRect rect, QPoint delta, QSize image);

// The rectangle as the area's lines hold it, Msg1 moved by the Visor and Tela
// at the Visor's corner, not pulled back onto the image.
QRect storedRect(const QStringList& settings, PanelArea area);

// The image names: line 13 the opening screen, line 14 the game panel.
QString imageName(const QStringList& settings, bool openingMode);

// The size of a new position picture: lines 58 and 59, the game screen.
// Throws OrvalisError naming the line that is missing, not a whole number,
// or out of 1..kMaxScreenSide.
constexpr int kMaxScreenSide = 16384;
QSize screenSize(const QStringList& settings);

// Writes a moved rectangle's position into the area's lines (nothing for Tela).
void recordPosition(QStringList& settings, PanelArea area, QRect rect);
// Writes a resized rectangle's size into the area's lines; the Visor's size
// also goes to its copies 49/50, 51/52 and 96/97.
void recordSize(QStringList& settings, PanelArea area, QSize size);
// Lines 11 and 12 get the size of the picture last saved or sent.
void recordSavedSize(QStringList& settings, QSize size);
// Lines 11 and 12 get the saved image's size; 13 (opening) or 14 (panel) its name.
void recordSavedImage(QStringList& settings, bool openingMode, const QString& imageName, QSize size);

// pan-castelo.png -> castelo.png
QString imageNameFromTemplate(const QString& templateName);
// The name the image is saved under: PNG data always goes to a ".png" file,
// so a name with another extension has it replaced.
QString pngImageName(const QString& imageName);

}  // namespace PanelLayout
}  // namespace orv
