#include "document/AdventureDocument.h"

#include "core/ListFile.h"
#include "document/PanelEdits.h"
#include "core/OrvalisError.h"

#include <QPainter>

namespace orv {

AdventureDocument::AdventureDocument(const QString& workspaceFolder, QObject* parent)
    : QObject(parent), adventure_(workspaceFolder), map_(workspaceFolder + QStringLiteral("defmap.bmp")),
      positionPicture_(positionPictureHistory_), panelPicture_(panelHistory_) {
    connect(&adventure_, &Adventure::opened, this, [this] {
        // Edits of one adventure are never taken back in another.
        mapHistory_.clear();
        panelHistory_.clear();
        positionPictureHistory_.clear();
        emit opened();
    });
    connect(&adventure_, &Adventure::settingsChanged, this, &AdventureDocument::settingsChanged);
    connect(&adventure_, &Adventure::currentStatusChanged, this, &AdventureDocument::currentStatusChanged);
}

void AdventureDocument::newMap() {
    mapHistory_.clear();
    emit mapReplaced();
}

void AdventureDocument::resetMap() {
    // The lines are emptied even when the background then fails to read.
    try {
        map_.reset();
    } catch (...) {
        newMap();
        throw;
    }
    newMap();
}

void AdventureDocument::open(const QString& name) {
    adventure_.open(name);
    if (fileExists(adventure_.file(".map")))
        loadMap();
    adventure_.readFiles([this](const QString& password) { emit passwordRead(password); });
}

void AdventureDocument::loadMap() {
    try {
        map_.load(adventure_.file(".map"));
    } catch (...) {
        newMap();
        throw;
    }
    newMap();
}

void AdventureDocument::reload(const QString& fileName) {
    if (fileName == adventure_.name() + QStringLiteral(".map")) {
        loadMap();
        return;
    }
    if (fileName == adventure_.name() + QStringLiteral(".ini"))
        panelHistory_.releaseWhere([](const Edit& e) { return dynamic_cast<const PanelAreaEdit*>(&e) != nullptr; });
    adventure_.reload(fileName);
}

void AdventureDocument::saveMap() const {
    map_.save(adventure_.file(".map"));
}

void AdventureDocument::saveAtExit() {
    if (exitSaved_ || !adventure_.isOpen())
        return;
    exitSaved_ = true;
    QStringList failures;
    const auto attempt = [&failures](const std::function<void()>& save) {
        try {
            save();
        } catch (const OrvalisError& error) {
            failures.append(error.text());
        }
    };
    attempt([this] { saveMap(); });
    attempt([this] { adventure_.saveSettingsAtExit(); });
    attempt([this] { adventure_.saveCurrentStatusAtExit(); });
    if (!failures.isEmpty())
        throw OrvalisError(failures.join(QLatin1Char('\n')));
}

void AdventureDocument::paintTile(int cell, int tile) {
    map_.drawTile(cell, tile);
    map_.setTile(cell, tile);
    emit cellsChanged(QRect(MapModel::column(cell) * MapModel::CellWidth, MapModel::row(cell) * MapModel::CellHeight,
                            MapModel::CellWidth, MapModel::CellHeight));
}

void AdventureDocument::nameCell(int cell, const QString& name, bool draw) {
    map_.setName(cell, name);
    if (draw)
        map_.drawName(cell);
    // A name may reach past its cell to the left and right, never above or below.
    emit cellsChanged(QRect(0, MapModel::row(cell) * MapModel::CellHeight, map_.image().width(), MapModel::CellHeight));
}

void AdventureDocument::clearMapInPlace() {
    try {
        map_.reset();
    } catch (...) {
        emit cellsChanged(map_.image().rect());
        throw;
    }
    emit cellsChanged(map_.image().rect());
}

void AdventureDocument::putBackMap(const MapEdit::Part& part, const MapEdit::State& state) {
    if (part.wholeMap) {
        map_.replaceLines(state.lines);
        map_.image() = state.pixels;
        emit cellsChanged(map_.image().rect());
        return;
    }
    for (int i = 0; i < part.lines.size(); ++i)
        map_.setLine(part.lines[i], state.lines[i]);
    if (!state.pixels.isNull()) {
        QPainter painter(&map_.image());
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(part.area.topLeft(), state.pixels);
    }
    emit cellsChanged(part.area);
}

void AdventureDocument::putBackSettings(const QList<int>& lines, const QStringList& texts, PanelArea area) {
    adventure_.changeSettings([&](QStringList& list) {
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i] < list.size())
                list[lines[i]] = texts[i];
    });
    emit panelAreaChanged(area);
}

}  // namespace orv
