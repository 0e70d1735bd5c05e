#pragma once
#include "ScriptLine.h"

#include <QString>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <functional>

class QTextDocument;

namespace orv {

// Colours the position and object blocks in a script editor's document and
// underlines in red what they name that is not there: an exit to no position
// of the map, a picture file that does not exist. It only sets formats; the
// document's text, undo history and modified state stay as they are.
class ScriptHighlighter : public QSyntaxHighlighter {
public:
    using NameTest = std::function<bool(const QString& name)>;

    explicit ScriptHighlighter(QTextDocument* document);

    // What exists. Unset, nothing is underlined. Setting one does not
    // re-colour the text already shown: call rehighlight() after.
    void setIsPosition(NameTest isPosition) { isPosition_ = std::move(isPosition); }
    void setIsPicture(NameTest isPicture) { isPicture_ = std::move(isPicture); }

    // Whether this line's value names something that is not there: an exit
    // to no position, a telpos picture file that does not exist.
    bool namesMissing(const QString& line) const;

    static QTextCharFormat headerFormat();
    static QTextCharFormat keywordFormat();
    static QTextCharFormat valueFormat();
    static QTextCharFormat missingFormat();  // valueFormat with a red wave underline

protected:
    void highlightBlock(const QString& text) override;

private:
    NameTest isPosition_;
    NameTest isPicture_;
};

}  // namespace orv
