#include "net/ItemTransfer.h"

#include "core/OrvalisError.h"
#include "net/Connection.h"
#include "net/ServerClient.h"
#include "net/ServerReply.h"

#include <initializer_list>

namespace orv::ItemTransfer {
namespace {

void show(const Context& c, const QString& text) {
    if (c.status)
        c.status(text);
}

// Checked before the first request, so a name with a folder part never costs
// a half-done transfer of several files.
void requireSafeNames(std::initializer_list<QString> names) {
    for (const QString& name : names)
        if (!ServerReply::isPlainFileName(name))
            throw OrvalisError(QStringLiteral("Nome de arquivo inválido: \"%1\".").arg(name));
}

bool passwordGiven(const Context& c) {
    if (!c.connection->password().isEmpty())
        return true;
    show(c, QString::fromLatin1(kMissingPassword));
    return false;
}

QString putFile(const Context& c, const QString& name) {
    return c.connection->client().putFile(c.adventureName, c.adventureFolder, name, c.connection->password());
}

QString getFile(const Context& c, const QString& name) {
    return c.connection->client().getFile(c.adventureName, c.adventureFolder, name);
}

}  // namespace

void uploadMap(const Context& c, const std::function<void()>& saveMap, const std::function<void()>& loadMap) {
    if (!passwordGiven(c) || !c.connection->isReady())
        return;
    const QString name = c.adventureName + QStringLiteral(".map");
    requireSafeNames({name});
    if (saveMap)
        saveMap();
    show(c, c.connection->client().putText(c.adventureName, c.adventureFolder, name, c.connection->password()));
    if (loadMap)
        loadMap();
}

void downloadMap(const Context& c, const std::function<void()>& loadMap) {
    if (!c.connection->isReady())
        return;
    const QString name = c.adventureName + QStringLiteral(".map");
    requireSafeNames({name});
    bool fetched = false;
    try {
        fetched = c.connection->client().getText(c.adventureName, c.adventureFolder, name);
    } catch (const OrvalisError&) {
        fetched = false;
    }
    if (!fetched) {
        show(c, QString::fromLatin1(kDownloadError));
        return;
    }
    if (loadMap)
        loadMap();
    show(c, QStringLiteral("Mapa atualizado!"));
}

void uploadPositionImage(const Context& c, const QString& imageName) {
    if (!passwordGiven(c) || !c.connection)
        return;
    requireSafeNames({imageName});
    show(c, putFile(c, imageName));
}

void downloadPositionImage(const Context& c, const QString& imageName) {
    if (!c.connection)
        return;
    show(c, getFile(c, imageName));
}

void uploadScript(const Context& c, const QString& scriptName, const std::function<void()>& saveScript) {
    if (!passwordGiven(c) || !c.connection->isReady())
        return;
    requireSafeNames({scriptName});
    if (saveScript)
        saveScript();
    show(c, c.connection->client().putText(c.adventureName, c.adventureFolder, scriptName, c.connection->password()));
}

bool downloadScript(const Context& c, const QString& scriptName) {
    if (!c.connection->isReady())
        return false;
    requireSafeNames({scriptName});
    bool fetched = false;
    try {
        fetched = c.connection->client().getText(c.adventureName, c.adventureFolder, scriptName);
    } catch (const OrvalisError&) {
        fetched = false;
    }
    show(c, fetched ? QStringLiteral("Script atualizado!") : QString::fromLatin1(kDownloadError));
    return fetched;
}

void uploadObject(const Context& c, const QString& objectName, const std::function<void()>& repaint) {
    if (!passwordGiven(c) || !c.connection->isReady() || objectName.isEmpty())
        return;
    const QString names[] = {objectName + QStringLiteral(".obj"), c.adventureName + QStringLiteral(".obx"),
                             c.adventureName + QStringLiteral(".obz")};
    requireSafeNames({names[0], names[1], names[2]});
    for (const QString& name : names) {
        show(c, putFile(c, name));
        if (repaint)
            repaint();
    }
    show(c, QString::fromLatin1(kUploadDone));
}

bool downloadObject(const Context& c, const QString& objectName, const std::function<void()>& repaint) {
    if (!c.connection->isReady() || objectName.isEmpty())
        return false;
    const QString names[] = {objectName + QStringLiteral(".obj"), c.adventureName + QStringLiteral(".obx"),
                             c.adventureName + QStringLiteral(".obz")};
    requireSafeNames({names[0], names[1], names[2]});
    // Each file on its own: a failed one leaves the others to come.
    for (const QString& name : names) {
        show(c, getFile(c, name));
        if (repaint)
            repaint();
    }
    show(c, QString::fromLatin1(kDownloadDone));
    return true;
}

void uploadRegisters(const Context& c) {
    if (!passwordGiven(c) || !c.connection->isReady())
        return;
    const QString rgs = c.adventureName + QStringLiteral(".rgs");
    const QString rgx = c.adventureName + QStringLiteral(".rgx");
    requireSafeNames({rgs, rgx});
    putFile(c, rgs);
    putFile(c, rgx);
    show(c, QString::fromLatin1(kUploadDone));
}

void downloadRegisters(const Context& c) {
    if (!c.connection->isReady())
        return;
    getFile(c, c.adventureName + QStringLiteral(".rgs"));
    getFile(c, c.adventureName + QStringLiteral(".rgx"));
    show(c, QString::fromLatin1(kDownloadDone));
}

void uploadImage(const Context& c, const QString& imageName) {
    if (c.connection->password().isEmpty() || !c.connection->isReady() || imageName.isEmpty())
        return;
    requireSafeNames({imageName});
    putFile(c, imageName);
}

void downloadImage(const Context& c, const QString& imageName) {
    if (!c.connection->isReady() || imageName.isEmpty())
        return;
    getFile(c, imageName);
}

void uploadSound(const Context& c, const QString& soundName) {
    if (!passwordGiven(c) || !c.connection->isReady() || soundName.isEmpty())
        return;
    requireSafeNames({soundName});
    putFile(c, soundName);
    show(c, QString::fromLatin1(kUploadDone));
}

void downloadSound(const Context& c, const QString& soundName) {
    if (!c.connection->isReady() || soundName.isEmpty())
        return;
    getFile(c, soundName);
    show(c, QString::fromLatin1(kDownloadDone));
}

void uploadPanel(const Context& c, const QString& imageName, const std::function<void()>& prepare,
                 const std::function<void()>& saveSettings) {
    if (!passwordGiven(c) || !c.connection)
        return;
    if (imageName.isEmpty()) {
        show(c, QString::fromLatin1(kNoPanelImage));
        return;
    }
    const QString settings = c.adventureName + QStringLiteral(".ini");
    requireSafeNames({imageName, settings});
    if (prepare)
        prepare();
    show(c, putFile(c, imageName));
    if (saveSettings)
        saveSettings();
    show(c, putFile(c, settings));
}

bool downloadPanel(const Context& c, const QString& imageName, bool* pictureFetched) {
    if (!c.connection)
        return false;
    const QString settings = c.adventureName + QStringLiteral(".ini");
    requireSafeNames({settings});
    // A picture name that is empty or unsafe fails on its own ("Falha
    // download", nothing requested); the settings file still comes.
    const QString picture = getFile(c, imageName);
    if (pictureFetched)
        *pictureFetched = picture == QLatin1String("Ok");
    show(c, picture);
    const QString fetched = getFile(c, settings);
    show(c, fetched);
    return fetched == QLatin1String("Ok");
}

}  // namespace orv::ItemTransfer
