#include "PanelLayout.h"

#include "core/OrvalisError.h"

#include <QFileInfo>

namespace orv::PanelLayout {

const QList<PanelAreaInfo>& areas() {
    static const QList<PanelAreaInfo> kAreas = {
        {PanelArea::Visor, "vsr", "Label35", "Visor:", 22, 23, 24, 25, {"VspLft", "VspTop", "VspWid", "VspHgt"},
         QColor(192, 192, 192)},
        {PanelArea::Tela, "tla", "Label38", "Tela:", 22, 23, 58, 59, {nullptr, nullptr, "TelWid", "TelHgt"},
         QColor(255, 255, 0)},
        {PanelArea::Msg1, "msg", "Label61", "Msg1:", 27, 28, 29, 30, {"MsgLft", "MsgTop", "MsgWid", "MsgHgt"},
         QColor(0, 255, 255)},
        {PanelArea::Func, "fnc", "Label51", "Func:", 45, 46, 47, 48, {"FncLft", "FncTop", "FncWid", "FncHgt"},
         QColor(255, 0, 0)},
        {PanelArea::Frase, "cmd", "Label42", "Frase:", 36, 37, 38, 39, {"CmdLft", "CmdTop", "CmdWid", "CmdHgt"},
         QColor(0, 255, 0)},
    };
    return kAreas;
}

const PanelAreaInfo& info(PanelArea area) {
    return areas()[static_cast<int>(area)];
}

void requireLines(const QStringList& settings) {
    if (settings.size() < kRequiredLines)
        throw OrvalisError(QStringLiteral("O arquivo de configuração da aventura tem %1 linhas; o painel precisa de %2.")
                               .arg(settings.size())
                               .arg(kRequiredLines));
}

int number(const QStringList& settings, int line) {
    requireLines(settings);
    bool ok = false;
    const QString text = settings[line].trimmed();
    const int value = text.toInt(&ok, 10);
    // toInt stops at a NUL character: "34" followed by a NUL and more is not 34.
    if (!ok || text.contains(QChar(u'\0')))
        throw OrvalisError(QStringLiteral("A linha %1 do arquivo de configuração não é um número: \"%2\".")
                               .arg(line)
                               .arg(settings[line]));
    if (value < -kNumberLimit || value > kNumberLimit)
        throw OrvalisError(QStringLiteral("A linha %1 do arquivo de configuração passa do limite de %2: \"%3\".")
                               .arg(line)
                               .arg(kNumberLimit)
                               .arg(settings[line]));
    return value;
}

QRect placeRect(const QStringList& settings, PanelArea area, QSize image) {
    const PanelAreaInfo& a = info(area);
    int top = number(settings, a.topLine);
    int left = number(settings, a.leftLine);
    if (area == PanelArea::Msg1) {
        top += number(settings, info(PanelArea::Visor).topLine);
        left += number(settings, info(PanelArea::Visor).leftLine);
    }
    const int width = number(settings, a.widthLine);
    const int height = number(settings, a.heightLine);
    if (top + height > image.height())
        top = image.height() - height;
    if (left + width > image.width())
        left = image.width() - width;
    return QRect(left, top, width, height);
}

QRect storedRect(const QStringList& settings, PanelArea area) {
    const PanelAreaInfo& a = info(area);
    int left = number(settings, a.leftLine);
    int top = number(settings, a.topLine);
    if (area == PanelArea::Msg1) {
        left += number(settings, info(PanelArea::Visor).leftLine);
        top += number(settings, info(PanelArea::Visor).topLine);
    }
    return QRect(left, top, number(settings, a.widthLine), number(settings, a.heightLine));
}

namespace {
constexpr int kSavedWidthLine = 11;
constexpr int kSavedHeightLine = 12;
constexpr int kOpeningImageLine = 13;
constexpr int kPanelImageLine = 14;
constexpr int kScreenWidthLine = 58;
constexpr int kScreenHeightLine = 59;

int screenSide(const QStringList& settings, int line, const char* what) {
    const QString where = QStringLiteral("A linha %1 (%2) das configurações").arg(line).arg(QLatin1String(what));
    bool ok = false;
    const QString text = line < settings.size() ? settings.at(line).trimmed() : QString();
    const int value = text.toInt(&ok);
    // toInt stops at a NUL character: "320" followed by a NUL and more is not 320.
    if (!ok || text.contains(QChar(u'\0')))
        throw OrvalisError(where + QStringLiteral(" falta ou não é um número inteiro."));
    if (value <= 0 || value > kMaxScreenSide)
        throw OrvalisError(where + QStringLiteral(" deve estar entre 1 e %1, mas é %2.").arg(kMaxScreenSide).arg(value));
    return value;
}
}  // namespace

QString imageName(const QStringList& settings, bool openingMode) {
    requireLines(settings);
    return settings[openingMode ? kOpeningImageLine : kPanelImageLine];
}

QSize screenSize(const QStringList& settings) {
    const int width = screenSide(settings, kScreenWidthLine, "largura da tela");
    const int height = screenSide(settings, kScreenHeightLine, "altura da tela");
    return QSize(width, height);
}

void recordSavedSize(QStringList& settings, QSize size) {
    requireLines(settings);
    settings[kSavedWidthLine] = QString::number(size.width());
    settings[kSavedHeightLine] = QString::number(size.height());
}

QRect moveRect(PanelArea area, QRect rect, QPoint delta, QSize image) {
    if (area == PanelArea::Tela)
        return rect;
    int left = rect.left() + delta.x();
    int top = rect.top() + delta.y();
    // Zero first, then the far edge: a rectangle larger than the image ends
    // with a negative position, its far edge on the image's edge.
    if (top < 0)
        top = 0;
    if (left < 0)
        left = 0;
    if (top + rect.height() > image.height())
        top = image.height() - rect.height();
    if (left + rect.width() > image.width())
        left = image.width() - rect.width();
    return QRect(left, top, rect.width(), rect.height());
}

QPoint handleCorner(QRect rect) {
    return {rect.left() + rect.width() - 8, rect.top() + rect.height() - 8};
}

QRect resizeRect(QRect rect, QPoint delta, QSize image) {
    QPoint handle = handleCorner(rect) + delta;
    if (handle.x() < rect.left())
        handle.setX(rect.left());
    if (handle.x() > image.width() - 8)
        handle.setX(image.width() - 8);
    if (handle.y() < rect.top())
        handle.setY(rect.top());
    if (handle.y() > image.height() - 8)
        handle.setY(image.height() - 8);
    return QRect(rect.left(), rect.top(), handle.x() - rect.left() + 8, handle.y() - rect.top() + 8);
}

void recordPosition(QStringList& settings, PanelArea area, QRect rect) {
    requireLines(settings);
    const PanelAreaInfo& a = info(area);
    int left = rect.left();
    int top = rect.top();
    switch (area) {
    case PanelArea::Tela:
        return;
    case PanelArea::Msg1:
        top -= number(settings, info(PanelArea::Visor).topLine);
        left -= number(settings, info(PanelArea::Visor).leftLine);
        break;
    default:
        break;
    }
    settings[a.topLine] = QString::number(top);
    settings[a.leftLine] = QString::number(left);
}

void recordSize(QStringList& settings, PanelArea area, QSize size) {
    requireLines(settings);
    const PanelAreaInfo& a = info(area);
    const QString width = QString::number(size.width());
    const QString height = QString::number(size.height());
    settings[a.widthLine] = width;
    settings[a.heightLine] = height;
    if (area == PanelArea::Visor) {
        for (int line : {51, 96, 49})
            settings[line] = width;
        for (int line : {52, 97, 50})
            settings[line] = height;
    }
}

void recordSavedImage(QStringList& settings, bool openingMode, const QString& imageName, QSize size) {
    requireLines(settings);
    settings[openingMode ? kOpeningImageLine : kPanelImageLine] = imageName;
    recordSavedSize(settings, size);
}

QString imageNameFromTemplate(const QString& templateName) {
    return templateName.mid(4);
}

QString pngImageName(const QString& imageName) {
    if (imageName.endsWith(QLatin1String(".png")))
        return imageName;
    const QString suffix = QFileInfo(imageName).suffix();
    if (suffix.isEmpty())
        return imageName + QLatin1String(".png");
    return imageName.left(imageName.size() - suffix.size()) + QLatin1String("png");
}

}  // namespace orv::PanelLayout
