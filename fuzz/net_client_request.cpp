// What the client builds from names and files the author chose: the URL must
// carry no blank, control character, "#" or byte above 7E, and must change
// nothing else; the file part's header must not be broken by the file's path;
// the boundary must occur in the multipart body only where it delimits.
#include "FuzzCheck.h"
#include "core/Cp1252.h"
#include "core/OrvalisError.h"
#include "net/ServerClient.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>

using namespace orv;
using namespace orv::ServerClientDetail;

namespace {

bool escaped(unsigned char c) {
    return c <= 0x20 || c >= 0x7F || c == '#';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void checkUrl(const QString& url) {
    QByteArray wire;
    try {
        wire = wireUrl(url);
    } catch (const OrvalisError&) {
        FUZZ_REQUIRE(cp1252::decode(cp1252::encode(url)) != url);
        return;
    }
    // Byte for byte the code page's bytes, the escaped ones as %XX.
    const QByteArray bytes = cp1252::encode(url);
    qsizetype at = 0;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (escaped(c)) {
            FUZZ_REQUIRE(at + 3 <= wire.size() && wire[at] == '%' &&
                    hexValue(wire[at + 1]) * 16 + hexValue(wire[at + 2]) == c);
            at += 3;
        } else {
            FUZZ_REQUIRE(at < wire.size() && wire[at] == ch);
            ++at;
        }
    }
    FUZZ_REQUIRE(at == wire.size());
    for (const char ch : wire)
        FUZZ_REQUIRE(!escaped(static_cast<unsigned char>(ch)));
}

void checkFilePart(const QString& localPath) {
    const QByteArray headers = filePartHeaders(localPath);
    // Three header lines, each ended by CR LF, and no other line break.
    const QList<QByteArray> lines = headers.split('\n');
    FUZZ_REQUIRE(lines.size() == 4 && lines[3].isEmpty());
    FUZZ_REQUIRE(headers.count('\r') == 3);
    for (int i = 0; i < 3; ++i)
        FUZZ_REQUIRE(lines[i].endsWith('\r'));
    // The first line quotes the field name and the file name, and nothing of
    // the path ends the quotes early.
    FUZZ_REQUIRE(lines[0].count('"') == 4 && lines[0].startsWith("Content-Disposition: form-data; name=\"Img\"; filename=\""));
    FUZZ_REQUIRE(lines[1] == "Content-Type: image/jpg\r" && lines[2] == "Content-Transfer-Encoding: binary\r");
}

void checkMultipart(const QByteArray& partHeaders, const QByteArray& content) {
    const QByteArray boundary = newBoundary(partHeaders + content);
    FUZZ_REQUIRE(!boundary.isEmpty() && !content.contains(boundary) && !partHeaders.contains(boundary));
    const QByteArray body = multipartBody(boundary, partHeaders, content);
    const QByteArray opening = "--" + boundary + "\r\n";
    const QByteArray closing = "\r\n--" + boundary + "--\r\n";
    FUZZ_REQUIRE(body.startsWith(opening) && body.endsWith(closing));
    FUZZ_REQUIRE(body.count(boundary) == 2);
    FUZZ_REQUIRE(body.mid(opening.size(), body.size() - opening.size() - closing.size()) ==
            partHeaders + "\r\n" + content);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string name = in.ConsumeRandomLengthString(256);
    const QByteArray content = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());

    // Names typed by the author (any characters) and names read from files
    // (always in the code page).
    const QString typed = QString::fromUtf8(name.data(), qsizetype(name.size()));
    const QString read = cp1252::decode(QByteArray::fromStdString(name));
    for (const QString& n : {typed, read}) {
        checkUrl(QStringLiteral("http://127.0.0.1:8080/Orvalis/gettxt.php?NoAdv=") + n + QStringLiteral("&Arq=") + n);
        checkFilePart(QStringLiteral("/aventuras/") + n);
    }
    checkMultipart(filePartHeaders(QStringLiteral("/aventuras/") + read), content);
    checkMultipart("Content-Disposition: form-data; name=\"Txt\"\r\n", content);
    return 0;
}
