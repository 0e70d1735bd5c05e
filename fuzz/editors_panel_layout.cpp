// The panel layout is read from numbered lines of the adventure's settings
// list, which may hold anything. A line is a number only when it is plain
// decimal digits; every rectangle placed, moved or resized from those numbers
// must be computed without overflow and written back as the numbers read.
#include "FuzzCheck.h"
#include "core/Cp1252.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "editors/PanelLayout.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <optional>

using namespace orv;

namespace {

bool plainDecimal(const QString& line) {
    const QString text = line.trimmed();
    qsizetype i = text.startsWith(u'+') || text.startsWith(u'-') ? 1 : 0;
    if (i == text.size())
        return false;
    for (; i < text.size(); ++i)
        if (text[i] < u'0' || text[i] > u'9')
            return false;
    return true;
}

std::optional<int> numberAt(const QStringList& settings, int line) {
    try {
        const int value = PanelLayout::number(settings, line);
        FUZZ_REQUIRE(plainDecimal(settings[line]));
        FUZZ_REQUIRE(value >= -PanelLayout::kNumberLimit && value <= PanelLayout::kNumberLimit);
        return value;
    } catch (const OrvalisError&) {
        bool ok = false;
        const qlonglong value = settings.size() < PanelLayout::kRequiredLines ? 0 : settings[line].trimmed().toLongLong(&ok);
        FUZZ_REQUIRE(settings.size() < PanelLayout::kRequiredLines || !plainDecimal(settings[line]) || !ok ||
                     value < -PanelLayout::kNumberLimit || value > PanelLayout::kNumberLimit);
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool complete = in.ConsumeBool();
    const QSize image(in.ConsumeIntegralInRange(0, 4096), in.ConsumeIntegralInRange(0, 4096));
    const QPoint delta(in.ConsumeIntegralInRange(-5000, 5000), in.ConsumeIntegralInRange(-5000, 5000));
    const QByteArray file = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());
    QStringList settings = ListFile::splitLines(file);
    // Most inputs are made whole, so that the layout lines are reached.
    while (complete && settings.size() < PanelLayout::kRequiredLines)
        settings << QStringLiteral("0");

    for (int line = 0; line < PanelLayout::kRequiredLines; ++line)
        numberAt(settings, line);
    if (settings.size() < PanelLayout::kRequiredLines)
        return 0;

    for (const PanelAreaInfo& a : PanelLayout::areas()) {
        QRect rect;
        try {
            rect = PanelLayout::placeRect(settings, a.area, image);
        } catch (const OrvalisError&) {
            continue;
        }
        FUZZ_REQUIRE(rect.width() == *numberAt(settings, a.widthLine) && rect.height() == *numberAt(settings, a.heightLine));
        // Where the lines put it, pulled back when it runs past the far edges.
        qint64 top = *numberAt(settings, a.topLine);
        qint64 left = *numberAt(settings, a.leftLine);
        if (a.area == PanelArea::Msg1) {
            top += *numberAt(settings, 23);
            left += *numberAt(settings, 22);
        }
        FUZZ_REQUIRE(rect.top() == (top + rect.height() > image.height() ? image.height() - rect.height() : top));
        FUZZ_REQUIRE(rect.left() == (left + rect.width() > image.width() ? image.width() - rect.width() : left));

        const QRect moved = PanelLayout::moveRect(a.area, rect, delta, image);
        FUZZ_REQUIRE(moved.size() == rect.size());
        const QRect resized = PanelLayout::resizeRect(moved, delta, image);
        FUZZ_REQUIRE(resized.topLeft() == moved.topLeft());

        QStringList written = settings;
        PanelLayout::recordPosition(written, a.area, moved);
        PanelLayout::recordSize(written, a.area, resized.size());
        FUZZ_REQUIRE(written.size() == settings.size());
        FUZZ_REQUIRE(*numberAt(written, a.widthLine) == resized.width() && *numberAt(written, a.heightLine) == resized.height());
        if (a.area != PanelArea::Tela && a.area != PanelArea::Msg1)
            FUZZ_REQUIRE(*numberAt(written, a.leftLine) == moved.left() && *numberAt(written, a.topLine) == moved.top());
    }
    return 0;
}
