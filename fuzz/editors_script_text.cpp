// Script files come from hand edits and the server, and the editor's text is
// whatever the author typed or pasted. A file with CR LF after every line
// must load and save byte for byte; any other file must save with CR LF for
// each of its breaks and after a last line that had none, nothing else
// changed; and any text must save without a lone CR or LF, its last line
// ended.
#include "FuzzCheck.h"
#include "core/Cp1252.h"
#include "editors/ScriptText.h"

#include <cstdint>
#include <cstdlib>

using namespace orv;

namespace {

// The file's bytes with every line break (CR LF, lone CR, lone LF) as CR LF.
QByteArray withCrLfBreaks(const QByteArray& bytes) {
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            out += "\r\n";
        } else {
            out += bytes[i];
        }
    }
    return out;
}

// What saving makes of a file: every line ended by CR LF, the last one too.
QByteArray listFileOf(const QByteArray& bytes) {
    QByteArray out = withCrLfBreaks(bytes);
    if (!out.isEmpty() && !out.endsWith("\r\n"))
        out += "\r\n";
    return out;
}

void requireOnlyCrLf(const QByteArray& bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r')
            FUZZ_REQUIRE(i + 1 < bytes.size() && bytes[i + 1] == '\n');
        if (bytes[i] == '\n')
            FUZZ_REQUIRE(i > 0 && bytes[i - 1] == '\r');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // The bytes as a file.
    const QString text = ScriptText::fromFile(bytes);
    FUZZ_REQUIRE(!text.contains(u'\r'));
    const QByteArray saved = ScriptText::toFile(text);
    FUZZ_REQUIRE(saved == listFileOf(bytes));
    // Saved once, the script is a list file: loaded and saved again it stays.
    FUZZ_REQUIRE(ScriptText::toFile(ScriptText::fromFile(saved)) == saved);

    // The bytes as what the editor holds (UTF-8 of any characters, with its
    // own paragraph and line separators).
    const QString typed = QString::fromUtf8(bytes);
    const QString plain = ScriptText::plainBreaks(typed);
    for (const QChar c : {QChar(u'\r'), QChar(QChar::ParagraphSeparator), QChar(QChar::LineSeparator)})
        FUZZ_REQUIRE(!plain.contains(c));
    FUZZ_REQUIRE(ScriptText::plainBreaks(plain) == plain);
    const QByteArray written = ScriptText::toFile(typed);
    requireOnlyCrLf(written);
    FUZZ_REQUIRE(written.isEmpty() || written.endsWith("\r\n"));
    FUZZ_REQUIRE(ScriptText::toFile(ScriptText::fromFile(written)) == written);
    const bool lastLineOpen = !plain.isEmpty() && !plain.endsWith(u'\n');
    FUZZ_REQUIRE(written.count("\r\n") == plain.count(u'\n') + (lastLineOpen ? 1 : 0));

    const QString handOff = ScriptText::handOffName(typed);
    FUZZ_REQUIRE(typed.startsWith(handOff) && handOff.size() == qMax<qsizetype>(0, typed.size() - 4));
    return 0;
}
