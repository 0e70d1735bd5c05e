// A map file may be anything (a download, a hand edit): loading it must give
// the 801-line map, and every position block built from it must stay inside
// the grid.
#include "core/ListFile.h"
#include "map/MapCompiler.h"
#include "map/MapModel.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct Workspace {
    QTemporaryDir dir;
    QString background;
    QString mapFile;
    QString folder;
};

Workspace* workspace = nullptr;

}  // namespace

// Fontconfig keeps font patterns it makes for fallback glyphs for the life
// of the process; those are not the map code's leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static auto* app = new QGuiApplication(*argc, *argv);
    (void)app;
    workspace = new Workspace;
    if (!workspace->dir.isValid())
        std::abort();
    workspace->folder = workspace->dir.path() + QLatin1Char('/');
    workspace->background = workspace->folder + QStringLiteral("defmap.bmp");
    workspace->mapFile = workspace->folder + QStringLiteral("fuzz.map");
    // A small background: drawing past its edges is clipped, and reading it
    // on every load stays cheap.
    QImage background(200, 120, QImage::Format_RGB32);
    background.fill(Qt::white);
    if (!background.save(workspace->background, "BMP"))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        QFile file(workspace->mapFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    orv::MapModel model(workspace->background);
    model.load(workspace->mapFile);
    const QStringList& lines = model.lines();
    if (lines.size() != orv::MapModel::LineCount)
        std::abort();
    for (int cell = 0; cell < orv::MapModel::Cells; ++cell) {
        if (model.name(cell).isEmpty() || model.tile(cell).isEmpty())
            continue;
        const QStringList block = orv::MapCompiler::buildPositionBlock(
            lines, cell, QStringLiteral("1"), QStringLiteral("png"), workspace->folder);
        if (block.size() < 5 || block.size() > 10)
            std::abort();
    }
    return 0;
}
