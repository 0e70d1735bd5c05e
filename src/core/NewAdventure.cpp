#include "NewAdventure.h"

#include "core/DurableWrite.h"
#include "core/ListFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace orv::NewAdventure {

namespace {

// The default object picture: a blank 64 x 64 card with a dashed border,
// shown under every object's own shape.
const unsigned char kDefaultObjectPicture[] = {
      0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x40, 0x00, 0x40, 0x00, 0xf1, 0x00,
      0x00, 0xff, 0x00, 0xff, 0xf4, 0xf4, 0xf0, 0x96, 0x96, 0x96, 0x00, 0x00,
      0x00, 0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
      0x00, 0x00, 0x40, 0x00, 0x40, 0x00, 0x00, 0x02, 0xa2, 0x8c, 0x8f, 0xa9,
      0xcb, 0xed, 0x0f, 0xa3, 0x9c, 0x4e, 0x58, 0x6b, 0xae, 0xc8, 0x97, 0xe3,
      0xa0, 0x79, 0x1b, 0xd8, 0x91, 0x5f, 0x68, 0x8e, 0x87, 0x4a, 0xb5, 0xee,
      0x0b, 0xc7, 0x0c, 0x2b, 0xd7, 0x12, 0x4b, 0xdb, 0x3a, 0x82, 0xef, 0x7e,
      0xd2, 0xfb, 0x09, 0x81, 0xc3, 0xa2, 0x51, 0x98, 0x3b, 0xda, 0x82, 0x4a,
      0x19, 0xb3, 0x09, 0x7b, 0x42, 0x6b, 0xc9, 0xa9, 0xf5, 0x0a, 0xc2, 0x52,
      0x79, 0xda, 0x96, 0xb4, 0xfb, 0xf8, 0x82, 0x6f, 0xe3, 0xf2, 0xb1, 0x6a,
      0x6e, 0x88, 0xd3, 0xdc, 0x15, 0xbb, 0xd2, 0x7e, 0x43, 0xd0, 0xf2, 0xfa,
      0xdc, 0x1e, 0x8e, 0xe3, 0x33, 0xfa, 0xfd, 0x7a, 0x9f, 0x05, 0x28, 0x08,
      0x37, 0x48, 0xe4, 0x36, 0xf8, 0xf7, 0x96, 0x88, 0x47, 0x57, 0xe8, 0xe7,
      0xa8, 0xd7, 0x98, 0xb6, 0x38, 0xd9, 0x57, 0x28, 0x09, 0x29, 0x87, 0xa9,
      0x69, 0x69, 0x47, 0x69, 0xf6, 0xc9, 0x99, 0x09, 0xb9, 0xa9, 0xd8, 0x59,
      0x17, 0x3a, 0x96, 0xca, 0x56, 0x3a, 0x5a, 0xd6, 0x5a, 0x79, 0x28, 0x88,
      0x73, 0x52, 0x82, 0x72, 0x6b, 0x9b, 0x5b, 0xbb, 0x3b, 0x72, 0xeb, 0xfa,
      0x7b, 0x50, 0x00, 0x00, 0x3b
};

constexpr int kSettingsLines = 98;
constexpr int kRegisterLines = 251;
constexpr int kMapLines = 801;

bool reservedOnWindows(const QString& name) {
    // Windows refuses these as a name whatever extension follows.
    const QString base = name.section(QLatin1Char('.'), 0, 0).toUpper();
    static const QStringList fixed = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                      QStringLiteral("NUL")};
    if (fixed.contains(base))
        return true;
    if (base.size() == 4 && (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))))
        return base.at(3) >= QLatin1Char('1') && base.at(3) <= QLatin1Char('9');
    return false;
}

}  // namespace

QString refusal(const QString& workspaceFolder, const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("Digite o nome da nova aventura.");
    if (name.trimmed() != name)
        return QStringLiteral("O nome não pode começar nem terminar com espaço.");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("\"%1\" não pode ser nome de pasta.").arg(name);
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F)
            return QStringLiteral("O nome não pode ter caracteres de controle.");
        if (QStringLiteral("/\\:*?\"<>|").contains(c))
            return QStringLiteral("O nome não pode ter nenhum destes caracteres: / \\ : * ? \" < > |");
    }
    if (name.endsWith(QLatin1Char('.')))
        return QStringLiteral("O nome não pode terminar com ponto.");
    if (reservedOnWindows(name))
        return QStringLiteral("\"%1\" é um nome reservado no Windows.").arg(name);
    if (QFileInfo::exists(QDir(workspaceFolder).filePath(name)))
        return QStringLiteral("Já existe \"%1\" na pasta de trabalho.").arg(name);
    // Another case of the same name is the same folder on Windows.
    for (const QString& entry : QDir(workspaceFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return QStringLiteral("Já existe \"%1\" na pasta de trabalho.").arg(entry);
    return {};
}

QStringList defaultSettings(const QString& name) {
    // The screen and panel areas of the sample's layout, with no panel or
    // opening picture named until the author makes them.
    QStringList settings(kSettingsLines, QStringLiteral("0"));
    settings[0] = name;
    settings[11] = QStringLiteral("640");
    settings[12] = QStringLiteral("400");
    settings[13].clear();
    settings[14].clear();
    const auto put = [&settings](int line, int value) { settings[line] = QString::number(value); };
    // Visor, Msg1, Frase and Func: left, top, width, height.
    put(22, 10), put(23, 10), put(24, 320), put(25, 200);
    put(28, 210), put(29, 320), put(30, 140);
    put(36, 10), put(37, 370), put(38, 620), put(39, 20);
    put(45, 340), put(46, 10), put(47, 290), put(48, 350);
    put(49, 320), put(50, 200), put(51, 320), put(52, 200);
    // The game screen's width and height, the size of a new position picture.
    put(58, 320), put(59, 200);
    put(96, 320), put(97, 200);
    return settings;
}

Result create(const QString& workspaceFolder, const QString& name) {
    Result result;
    result.message = refusal(workspaceFolder, name);
    if (!result.message.isEmpty())
        return result;
    const QString folder = QDir(workspaceFolder).filePath(name) + QLatin1Char('/');
    if (!QDir().mkpath(folder)) {
        result.message = QStringLiteral("Não foi possível criar a pasta \"%1\".").arg(folder);
        return result;
    }
    const QString base = folder + name;
    // The .ini goes last: the adventure list shows a folder once its .ini,
    // .rgs, .obx and .obz exist, so a half-made one is never listed.
    ListFile::write(folder + QStringLiteral("sen.txt"), {QString()});
    ListFile::write(base + QStringLiteral(".obx"), {});
    ListFile::write(base + QStringLiteral(".obz"), {});
    ListFile::write(base + QStringLiteral(".rgs"), QStringList(kRegisterLines));
    ListFile::write(base + QStringLiteral(".map"), QStringList(kMapLines));
    writeFileSafely(folder + QStringLiteral("defobj.gif"),
                    QByteArray(reinterpret_cast<const char*>(kDefaultObjectPicture), sizeof kDefaultObjectPicture));
    ListFile::write(base + QStringLiteral(".ini"), defaultSettings(name));
    result.created = true;
    result.folder = folder;
    return result;
}

}  // namespace orv::NewAdventure
