#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

namespace orv {

// The 251 registers of an adventure: values in N.rgs, names in N.rgx, one
// line per register. The editor shows each register as one line of text,
// "name:" right-aligned in 36 characters, a blank, then the value; saving
// splits each line at its first colon again.
//
// Files shorter than 251 lines, and a text with fewer lines, count the
// missing registers as empty. Lines of the files after register 250 are not
// shown, but they are written back as they were read, so that saving never
// loses what the editor cannot show. Lines the author adds after register 250
// are not saved.
class Registers {
public:
    static constexpr int kCount = 251;
    static constexpr int kNameField = 36;  // the name and its colon, right-aligned

    Registers(QString adventureFolder, QString adventureName);

    QString adventureFolder() const { return folder_; }
    QString adventureName() const { return name_; }
    QString valueFile() const;  // folder + name + ".rgs"
    QString nameFile() const;   // folder + name + ".rgx"

    // Reads both files and gives the 251 lines of the text. A missing name
    // file is first created from the value file, "n:" for its line n, and
    // nameFileCreated runs after it is written.
    QStringList fill(const std::function<void()>& nameFileCreated = {});

    // Writes the name file, then the value file, from the lines of the text.
    void save(const QStringList& lines) const;

    // One register as a line of the text.
    static QString registerLine(const QString& name, const QString& value, int number);
    // A line of the text as name and value: split at the first colon, both
    // trimmed; without a colon the name is empty and the line is the value.
    static std::pair<QString, QString> splitLine(const QString& line);
    // Blanks and control characters (0 to 32) removed at both ends. Bytes
    // from 7F up are characters of the code page and stay.
    static QString trimmed(const QString& text);
    // The lines of a text box's raw text: paragraph and line separators and
    // newlines all end a line.
    static QStringList textLines(const QString& rawText);

private:
    QString folder_;
    QString name_;
    // What fill read beyond what the text shows.
    QStringList extraNames_;
    QStringList extraValues_;
    // Registers whose name the line cannot show as it is: too long for the
    // field, or with a colon of its own, which moves the split between name
    // and value. By register: the name the line splits off, the rest of the
    // name field after it (its colon included), and the whole name, saved
    // while the line still starts that way.
    struct Unshowable {
        bool present = false;
        QString shownName;
        QString rest;
        QString name;
    };
    QList<Unshowable> unshowable_;
};

}  // namespace orv
