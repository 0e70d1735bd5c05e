// The colours of the position and object blocks in a script's text, and the
// red underline under what they name that is not there, seen as the editor's
// layout holds them after highlighting.
#include "editors/ScriptHighlighter.h"

#include <QCoreApplication>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace orv;

namespace {

// One coloured stretch of a line, named by what it shows.
struct Stretch {
    int start;
    int length;
    std::string role;
    bool operator==(const Stretch&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Stretch& s) {
    return out << "{" << s.start << ", " << s.length << ", " << s.role << "}";
}

const char* roleOf(const QTextCharFormat& format) {
    if (format == ScriptHighlighter::headerFormat())
        return "header";
    if (format == ScriptHighlighter::keywordFormat())
        return "keyword";
    if (format == ScriptHighlighter::valueFormat())
        return "value";
    if (format == ScriptHighlighter::missingFormat())
        return "missing";
    return "other";
}

std::vector<Stretch> stretches(const QTextDocument& doc, int line) {
    std::vector<Stretch> out;
    for (const QTextLayout::FormatRange& r : doc.findBlockByNumber(line).layout()->formats())
        out.push_back({r.start, r.length, roleOf(r.format)});
    return out;
}

using S = std::vector<Stretch>;

}  // namespace

TEST(ScriptHighlighter, ColoursTheBlocksLinesAtTheirSpansAndLeavesOtherTextAlone) {
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("//=== Posição: sala de = estar ==================\n"  // 0
                                    "  setmode= 1\n"                                       // 1
                                    "  retscp= sala de = estar\n"                          // 2
                                    "\tleste=   Cozinha \t \n"                             // 3
                                    "  msg= Nome desta posição sala\n"                     // 4
                                    "  fim\n"                                              // 5
                                    "//=== Objeto: chave =================   \n"          // 6
                                    "retscp= chave\n"                                      // 7
                                    "fim\n"                                                // 8
                                    "  Norte= x\n"                                         // 9
                                    "  norte = x\n"                                        // 10
                                    "  fimx\n"                                             // 11
                                    "fala oi retscp= x\n"                                  // 12
                                    "  norte=\n"));                                        // 13
    ScriptHighlighter highlighter(&doc);
    // Attached, the colours come with the next turn of the event loop.
    QCoreApplication::processEvents();
    EXPECT_EQ(stretches(doc, 0), (S{{0, 49, "header"}}));
    EXPECT_EQ(stretches(doc, 1), (S{{2, 8, "keyword"}, {11, 1, "value"}}));
    // A value holding blanks and "=" is the value to its end.
    EXPECT_EQ(stretches(doc, 2), (S{{2, 7, "keyword"}, {10, 15, "value"}}));
    // Tab indent, several spaces after "=", trailing blanks no part of the value.
    EXPECT_EQ(stretches(doc, 3), (S{{1, 6, "keyword"}, {10, 7, "value"}}));
    EXPECT_EQ(stretches(doc, 4), (S{{2, 4, "keyword"}, {7, 23, "value"}}));
    EXPECT_EQ(stretches(doc, 5), (S{{2, 3, "keyword"}}));
    EXPECT_EQ(stretches(doc, 6), (S{{0, 40, "header"}}));
    EXPECT_EQ(stretches(doc, 7), (S{{0, 7, "keyword"}, {8, 5, "value"}}));
    EXPECT_EQ(stretches(doc, 8), (S{{0, 3, "keyword"}}));
    // Case counts, the "=" follows the keyword at once, and a keyword only
    // starts a line.
    for (int line : {9, 10, 11, 12})
        EXPECT_EQ(stretches(doc, line), S{}) << line;
    EXPECT_EQ(stretches(doc, 13), (S{{2, 6, "keyword"}}));

    // Legible on the editor's white: keywords and headers bold, values not.
    EXPECT_EQ(ScriptHighlighter::keywordFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(ScriptHighlighter::headerFormat().fontWeight(), QFont::Bold);
    EXPECT_NE(ScriptHighlighter::valueFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(ScriptHighlighter::missingFormat().underlineStyle(), QTextCharFormat::WaveUnderline);
    EXPECT_EQ(ScriptHighlighter::missingFormat().underlineColor(), QColor(Qt::red));
    EXPECT_EQ(ScriptHighlighter::valueFormat().underlineStyle(), QTextCharFormat::NoUnderline);
}

TEST(ScriptHighlighter, UnderlinesExitsAndPicturesThatAreNotThereUntilTheyAre) {
    QTextDocument doc;
    const QString text = QStringLiteral("//=== Posição: sala ==================\n"
                                        "  telpos= sala.png\n"  // 1
                                        "  norte= Torre\n"      // 2
                                        "  leste= sala\n"       // 3
                                        "  sul= Poço\n"         // 4
                                        "  oeste= Torre\n"      // 5
                                        "  retscp= Torre\n"     // 6: no exit, never checked
                                        "  msg= Torre\n");
    doc.setPlainText(text);
    doc.setModified(false);
    // Laid out, as an editor's document is: edits then reach the highlighter.
    doc.documentLayout();
    ScriptHighlighter highlighter(&doc);
    QCoreApplication::processEvents();
    // Nothing to check against yet: nothing is underlined.
    EXPECT_EQ(stretches(doc, 2), (S{{2, 6, "keyword"}, {9, 5, "value"}}));

    QSet<QString> positions{QStringLiteral("sala"), QStringLiteral("Poço")};
    QSet<QString> pictures;
    highlighter.setIsPosition([&](const QString& name) { return positions.contains(name); });
    highlighter.setIsPicture([&](const QString& name) { return pictures.contains(name); });
    highlighter.rehighlight();
    EXPECT_EQ(stretches(doc, 1), (S{{2, 7, "keyword"}, {10, 8, "missing"}}));
    EXPECT_EQ(stretches(doc, 2), (S{{2, 6, "keyword"}, {9, 5, "missing"}}));
    EXPECT_EQ(stretches(doc, 3), (S{{2, 6, "keyword"}, {9, 4, "value"}}));
    EXPECT_EQ(stretches(doc, 4), (S{{2, 4, "keyword"}, {7, 4, "value"}}));
    EXPECT_EQ(stretches(doc, 5), (S{{2, 6, "keyword"}, {9, 5, "missing"}}));
    EXPECT_EQ(stretches(doc, 6), (S{{2, 7, "keyword"}, {10, 5, "value"}}));
    EXPECT_EQ(stretches(doc, 7), (S{{2, 4, "keyword"}, {7, 5, "value"}}));

    // Named on the map, saved as a picture: the underlines go.
    positions << QStringLiteral("Torre");
    pictures << QStringLiteral("sala.png");
    highlighter.rehighlight();
    for (int line : {1, 2, 5})
        EXPECT_EQ(stretches(doc, line).back().role, "value") << line;

    // Colouring never touched the text: no undo step, not modified.
    EXPECT_EQ(doc.toPlainText(), text);
    EXPECT_EQ(doc.availableUndoSteps(), 0);
    EXPECT_FALSE(doc.isModified());

    // Typed, an exit to nowhere is underlined as it is typed.
    QTextCursor end(&doc);
    end.movePosition(QTextCursor::End);
    end.insertText(QStringLiteral("  sul= Nada"));
    EXPECT_EQ(stretches(doc, 8), (S{{2, 4, "keyword"}, {7, 4, "missing"}}));
}
