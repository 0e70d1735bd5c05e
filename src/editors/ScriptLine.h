#pragma once
#include <QString>
#include <QStringView>

namespace orv {

// The lines of a script the program itself writes and reads back: the header
// of a position or object block ("//=== Posição: sala ===...") and the
// keyword lines ("  norte= torre", "retscp= chave", "  fim"). Every other
// line is the game player's language and is left to it.
struct ScriptLine {
    enum class Kind { Other, PositionHeader, ObjectHeader, Keyword };
    Kind kind = Kind::Other;
    QString keyword;      // keyword lines: "norte", "telpos", "fim"...
    int keywordStart = -1;
    int valueStart = -1;  // the value, or the header's name; -1 when none
    int valueLength = 0;

    QString valueIn(const QString& line) const {
        return valueStart < 0 ? QString() : line.mid(valueStart, valueLength);
    }
    bool isExit() const;  // norte, leste, sul, oeste

    // Keyword lines start with optional blanks, then one of the keywords of
    // the blocks, "=" and the value after its blanks (trailing blanks are no
    // part of it). Case counts.
    static ScriptLine parse(const QString& line);
    static bool isKeyword(QStringView word);
};

}  // namespace orv
