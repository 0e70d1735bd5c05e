#include "document/JournalFile.h"

#include "core/OrvalisError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <zlib.h>

#include <limits>

namespace orv::JournalFile {

namespace {

const QByteArray kHeader = QByteArrayLiteral("ORVALIS-DIARIO 1\n");
const QByteArray kEnd = QByteArrayLiteral("fim\t");

[[noreturn]] void refuse(const QString& why) {
    throw OrvalisError(QStringLiteral("O diário de recuperação não pode ser lido: %1.").arg(why));
}

void section(QByteArray& out, const char* tag, const QByteArray& bytes) {
    out += tag;
    out += '\t';
    out += QByteArray::number(bytes.size());
    out += '\n';
    out += bytes;
    out += '\n';
}

QByteArray textBytes(const QString& text) {
    return text.toUtf8();
}

QByteArray listBytes(const QStringList& lines) {
    QByteArray out = QByteArray::number(lines.size()) + '\n';
    for (const QString& line : lines) {
        const QByteArray utf8 = line.toUtf8();
        out += QByteArray::number(utf8.size()) + '\n' + utf8;
    }
    return out;
}

QByteArray pictureBytes(const QImage& picture) {
    if (picture.isNull())
        return QByteArrayLiteral("0 0\n");
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    QByteArray out = QByteArray::number(rgb.width()) + ' ' + QByteArray::number(rgb.height()) + '\n';
    const qsizetype rowBytes = qsizetype(rgb.width()) * 4;
    const qsizetype raw = rowBytes * rgb.height();
    z_stream z{};
    // Level 1: the journal is written often and read once.
    if (deflateInit(&z, 1) != Z_OK)
        throw OrvalisError(QStringLiteral("Não foi possível comprimir uma imagem do diário."));
    QByteArray packed(qsizetype(deflateBound(&z, uLong(raw))), Qt::Uninitialized);
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = uInt(packed.size());
    for (int y = 0; y < rgb.height(); ++y) {
        z.next_in = const_cast<Bytef*>(rgb.constScanLine(y));
        z.avail_in = uInt(rowBytes);
        deflate(&z, y + 1 == rgb.height() ? Z_FINISH : Z_NO_FLUSH);
    }
    packed.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out + packed;
}

// Reads the parts of the file in order; every read checks its bounds.
class Reader {
public:
    explicit Reader(const QByteArray& bytes) : bytes_(bytes) {}

    QByteArray line() {
        const qsizetype end = bytes_.indexOf('\n', at_);
        if (end < 0)
            refuse(QStringLiteral("o arquivo termina antes do fim"));
        QByteArray text = bytes_.mid(at_, end - at_);
        at_ = end + 1;
        return text;
    }
    QByteArray take(qsizetype n) {
        if (n < 0 || n > bytes_.size() - at_)
            refuse(QStringLiteral("o arquivo termina antes do fim"));
        QByteArray part = bytes_.mid(at_, n);
        at_ += n;
        return part;
    }
    qsizetype at() const { return at_; }
    bool atEnd() const { return at_ == bytes_.size(); }

private:
    const QByteArray& bytes_;
    qsizetype at_ = 0;
};

qsizetype count(const QByteArray& text, qsizetype most) {
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    if (!ok || n < 0 || n > most || text.isEmpty() || text.startsWith('+') || text.startsWith('-'))
        refuse(QStringLiteral("um tamanho \"%1\" não é válido").arg(QString::fromLatin1(text.left(40))));
    return qsizetype(n);
}

QStringList readList(const QByteArray& bytes) {
    Reader r(bytes);
    const qsizetype n = count(r.line(), bytes.size());
    QStringList lines;
    lines.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        lines.append(QString::fromUtf8(r.take(count(r.line(), bytes.size()))));
    if (!r.atEnd())
        refuse(QStringLiteral("uma lista tem bytes a mais"));
    return lines;
}

QImage readPicture(const QByteArray& bytes) {
    Reader r(bytes);
    const QList<QByteArray> size = r.line().split(' ');
    if (size.size() != 2)
        refuse(QStringLiteral("o tamanho de uma imagem não é válido"));
    const int width = int(count(size[0], kMaxSide));
    const int height = int(count(size[1], kMaxSide));
    if (width == 0 || height == 0) {
        if (width != height || !r.atEnd())
            refuse(QStringLiteral("o tamanho de uma imagem não é válido"));
        return QImage();
    }
    const QByteArray packed = r.take(bytes.size() - r.at());
    QImage picture(width, height, QImage::Format_RGB32);
    if (picture.isNull())
        refuse(QStringLiteral("não há memória para uma imagem"));
    const qsizetype rowBytes = qsizetype(width) * 4;
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        refuse(QStringLiteral("a descompressão falhou"));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    z.avail_in = uInt(packed.size());
    bool whole = true;
    int status = Z_OK;
    for (int y = 0; y < height && whole; ++y) {
        z.next_out = picture.scanLine(y);
        z.avail_out = uInt(rowBytes);
        status = inflate(&z, Z_NO_FLUSH);
        // Every row whole, and the stream may end only with the last one.
        whole = z.avail_out == 0 && (status == Z_OK || (status == Z_STREAM_END && y + 1 == height));
    }
    if (whole && status == Z_OK) {
        unsigned char extra = 0;
        z.next_out = &extra;
        z.avail_out = 1;
        status = inflate(&z, Z_FINISH);
        whole = status == Z_STREAM_END && z.avail_out == 1;
    }
    whole = whole && z.avail_in == 0;
    inflateEnd(&z);
    if (!whole)
        refuse(QStringLiteral("uma imagem está incompleta"));
    return picture;
}

}  // namespace

QByteArray encode(const JournalState& state) {
    QByteArray out = kHeader;
    section(out, "pasta", textBytes(state.workspaceFolder));
    section(out, "aventura", textBytes(state.adventure));
    section(out, "hora", state.time.toUTC().toString(Qt::ISODateWithMs).toLatin1());
    section(out, "mapa", listBytes(state.mapLines));
    section(out, "imagem-mapa", pictureBytes(state.mapImage));
    section(out, "ini", listBytes(state.settings));
    section(out, "obx", listBytes(state.currentStatus));
    if (state.script) {
        section(out, "script-arquivo", textBytes(state.script->file));
        section(out, "script-texto", textBytes(state.script->text));
    }
    if (state.registers) {
        section(out, "regs-arquivo", textBytes(state.registers->file));
        section(out, "regs-texto", textBytes(state.registers->text));
    }
    if (state.positionPicture) {
        section(out, "posicao", textBytes(state.positionPicture->name));
        section(out, "imagem-posicao", pictureBytes(state.positionPicture->image));
    }
    out += kEnd + QCryptographicHash::hash(out, QCryptographicHash::Sha256).toHex() + '\n';
    return out;
}

JournalState decode(const QByteArray& bytes) {
    if (!bytes.startsWith(kHeader))
        refuse(QStringLiteral("não é um diário do Orvalis"));
    const qsizetype end = bytes.lastIndexOf(kEnd);
    if (end < 0 || !bytes.endsWith('\n'))
        refuse(QStringLiteral("o arquivo termina antes do fim"));
    const QByteArray sum = bytes.mid(end + kEnd.size(), bytes.size() - end - kEnd.size() - 1);
    if (sum != QCryptographicHash::hash(bytes.left(end), QCryptographicHash::Sha256).toHex())
        refuse(QStringLiteral("a soma de verificação não confere"));

    const QByteArray body = bytes.left(end);
    Reader r(body);
    r.line();  // the header
    JournalState state;
    std::optional<QString> scriptFile, scriptText, registersFile, registersText, position;
    std::optional<QImage> positionImage;
    bool seen[5] = {};
    while (!r.atEnd()) {
        const QList<QByteArray> head = r.line().split('\t');
        if (head.size() != 2)
            refuse(QStringLiteral("uma seção não tem nome e tamanho"));
        const QByteArray content = r.take(count(head[1], body.size()));
        if (r.take(1) != "\n")
            refuse(QStringLiteral("uma seção não termina onde deveria"));
        const QByteArray& tag = head[0];
        const auto text = [&] { return QString::fromUtf8(content); };
        if (tag == "pasta") {
            state.workspaceFolder = text();
            seen[0] = true;
        } else if (tag == "aventura") {
            state.adventure = text();
            seen[1] = true;
        } else if (tag == "hora") {
            state.time = QDateTime::fromString(text(), Qt::ISODateWithMs);
            if (!state.time.isValid())
                refuse(QStringLiteral("a hora não é válida"));
            seen[2] = true;
        } else if (tag == "mapa") {
            state.mapLines = readList(content);
            seen[3] = true;
        } else if (tag == "imagem-mapa") {
            state.mapImage = readPicture(content);
        } else if (tag == "ini") {
            state.settings = readList(content);
            seen[4] = true;
        } else if (tag == "obx") {
            state.currentStatus = readList(content);
        } else if (tag == "script-arquivo") {
            scriptFile = text();
        } else if (tag == "script-texto") {
            scriptText = text();
        } else if (tag == "regs-arquivo") {
            registersFile = text();
        } else if (tag == "regs-texto") {
            registersText = text();
        } else if (tag == "posicao") {
            position = text();
        } else if (tag == "imagem-posicao") {
            positionImage = readPicture(content);
        } else {
            refuse(QStringLiteral("a seção \"%1\" é desconhecida").arg(QString::fromLatin1(tag.left(40))));
        }
    }
    for (bool s : seen)
        if (!s)
            refuse(QStringLiteral("falta uma seção"));
    if (bool(scriptFile) != bool(scriptText) || bool(registersFile) != bool(registersText) ||
        bool(position) != bool(positionImage))
        refuse(QStringLiteral("falta uma seção"));
    if (scriptFile)
        state.script = JournalState::Text{*scriptFile, *scriptText};
    if (registersFile)
        state.registers = JournalState::Text{*registersFile, *registersText};
    if (position)
        state.positionPicture = JournalState::Picture{*position, *positionImage};
    return state;
}

QString folder() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // A relative XDG_STATE_HOME is not to be used: the home default stands then.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/orvalis")) + QLatin1Char('/');
}

namespace {
// Which workspace a journal belongs to, in its name.
QString placeOf(const QString& workspaceFolder) {
    return QString::fromLatin1(
        QCryptographicHash::hash(QDir::cleanPath(workspaceFolder).toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}
}  // namespace

QString pathFor(const QString& workspaceFolder, const QString& adventure) {
    // The adventure's name is a folder name; kept readable, but never a path.
    const QString name = QString::fromLatin1(QUrl::toPercentEncoding(adventure, " "));
    return folder() + placeOf(workspaceFolder) + QLatin1Char('-') + name + QStringLiteral(".diario");
}

QStringList journalsOf(const QString& workspaceFolder) {
    QStringList found;
    const QFileInfoList entries = QDir(folder()).entryInfoList({placeOf(workspaceFolder) + QStringLiteral("-*.diario")},
                                                              QDir::Files | QDir::Hidden, QDir::Time);
    for (const QFileInfo& entry : entries)
        found.append(entry.absoluteFilePath());
    return found;
}

}  // namespace orv::JournalFile
