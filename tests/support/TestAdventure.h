#pragma once
#include "core/Adventure.h"
#include "document/AdventureDocument.h"
#include "net/Connection.h"
#include "net/ServerClient.h"
#include "widgets/DragState.h"

#include <QDir>

namespace orv::test {

// What a window is built over, without the main window: the document of an
// open adventure below a workspace folder, the settings, the shared drag
// state and a connection whose client reaches no server.
struct TestAdventure {
    // An empty name leaves the program as it starts, with no adventure open.
    TestAdventure(const QString& workspaceFolder, const QString& name)
        : document(workspaceFolder), client(QStringLiteral("http://127.0.0.1:9/Orvalis/")), connection(client) {
        if (name.isEmpty())
            return;
        QDir().mkpath(workspaceFolder + name);
        adventure.open(name);
    }
    void setSettings(const QStringList& lines) {
        adventure.changeSettings([&](QStringList& list) { list = lines; });
    }
    void setReady(bool ready) {
        connection.setState(ready ? ConnectionState::Ready : ConnectionState::Offline);
    }

    AdventureDocument document;
    Adventure& adventure = document.adventure();
    ScriptSettings settings;
    DragState drag;
    ServerClient client;
    Connection connection;
};

}  // namespace orv::test
