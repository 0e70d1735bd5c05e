#include "ManualPage.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace orv::CommandLine {

namespace {

// Text as roff reads it: a backslash is escaped, a minus is a minus, and a
// line never starts with a control character.
QString roff(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\\'), QLatin1String("\\e"));
    out.replace(QLatin1Char('-'), QLatin1String("\\-"));
    if (out.startsWith(QLatin1Char('.')) || out.startsWith(QLatin1Char('\'')))
        out.prepend(QLatin1String("\\&"));
    return out;
}

int indentOf(const QString& line) {
    int n = 0;
    while (n < line.size() && line.at(n) == QLatin1Char(' '))
        ++n;
    return n;
}

}  // namespace

QByteArray manualPage(const char* help, const char* version) {
    const QStringList lines = QString::fromUtf8(help).split(QLatin1Char('\n'));
    QStringList out;
    out << QStringLiteral(".\\\" -*- coding: UTF-8 -*-")
        << QStringLiteral(".TH ORVALIS 1 \"\" \"orvalis %1\" \"Comandos do usu\u00E1rio\"").arg(QLatin1String(version))
        << QStringLiteral(".SH NOME")
        << QStringLiteral("orvalis \\- editor de aventuras de apontar e clicar");

    // An item: "  nome ARGS   texto" (or just "  nome ARGS", the text on
    // the lines below); 2 spaces for a command or a general option, more
    // for a command's own option.
    static const QRegularExpression item(QStringLiteral("^( {2}| {6})(\\S.*?)(?: {2,}(\\S.*))?$"));
    bool inOptions = false;  // inside the options nested under a command
    bool inItem = false;
    bool started = false;
    auto closeOptions = [&] {
        if (inOptions)
            out << QStringLiteral(".RE");
        inOptions = false;
    };
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("Uso: "))) {
            out << QStringLiteral(".SH SINOPSE") << QStringLiteral(".B orvalis")
                << QStringLiteral("\\fB[\\-\\-pasta\\fR \\fIPASTA\\fB]\\fR");
            out << QStringLiteral(".br") << roff(line.mid(5));
            out << QStringLiteral(".br") << QStringLiteral(".B orvalis \\-\\-help") << QStringLiteral(".br")
                << QStringLiteral(".B orvalis \\-\\-version");
            out << QStringLiteral(".SH DESCRI\u00C7\u00C3O");
            started = true;
            continue;
        }
        if (!started)
            continue;
        if (line.trimmed().isEmpty()) {
            closeOptions();
            inItem = false;
            out << QStringLiteral(".PP");
            continue;
        }
        const int indent = indentOf(line);
        if (indent == 0 && line.endsWith(QLatin1Char(':'))) {
            closeOptions();
            inItem = false;
            QString title = line.chopped(1).toUpper();
            // Section titles are short: "Opções de todos os comandos" is the options.
            if (title.startsWith(QStringLiteral("OP\u00C7\u00D5ES")))
                title = QStringLiteral("OP\u00C7\u00D5ES");
            out << QStringLiteral(".SH \"%1\"").arg(title);
            continue;
        }
        if (indent == 0 && line.startsWith(QStringLiteral("C\u00F3digo de sa\u00EDda:"))) {
            closeOptions();
            inItem = false;
            out << QStringLiteral(".SH \"C\u00D3DIGO DE SA\u00CDDA\"")
                << roff(line.mid(QStringLiteral("C\u00F3digo de sa\u00EDda:").size()).trimmed());
            continue;
        }
        const QRegularExpressionMatch m = item.match(line);
        if (m.hasMatch() && (indent == 2 || indent == 6)) {
            const bool option = indent == 6;
            if (option && !inOptions) {
                out << QStringLiteral(".RS 4");
                inOptions = true;
            } else if (!option) {
                closeOptions();
            }
            // "--modo 0|1|2": the name bold, what follows it in italics.
            const QString head = m.captured(2);
            const qsizetype space = head.indexOf(QLatin1Char(' '));
            out << QStringLiteral(".TP");
            if (space < 0)
                out << QStringLiteral(".B ") + roff(head);
            else
                out << QStringLiteral("\\fB%1\\fR \\fI%2\\fR").arg(roff(head.left(space)), roff(head.mid(space + 1)));
            if (!m.captured(3).isEmpty())
                out << roff(m.captured(3));
            inItem = true;
            continue;
        }
        // The text goes on: a line of its own when it starts a list ("2: ...").
        const QString text = line.trimmed();
        static const QRegularExpression listed(QStringLiteral("^\\d+: "));
        if (inItem && listed.match(text).hasMatch())
            out << QStringLiteral(".br");
        out << roff(text);
    }
    closeOptions();

    out << QStringLiteral(".PP")
        << roff(QStringLiteral("O editor (o programa sem argumentos) precisa de uma tela gr\u00E1fica; sem ela, diz "
                               "isso numa linha na sa\u00EDda de erros e termina com o c\u00F3digo 2. Os comandos "
                               "n\u00E3o precisam de tela."));
    out << QStringLiteral(".SH AMBIENTE") << QStringLiteral(".TP") << QStringLiteral(".B ORVALIS_SERVIDOR")
        << roff(QStringLiteral("o endere\u00E7o do servidor de aventuras, terminado em /Orvalis/, para o editor e "
                               "para os comandos baixar, enviar e estado (padr\u00E3o: o endere\u00E7o com que o "
                               "programa foi constru\u00EDdo)."))
        << QStringLiteral(".TP") << QStringLiteral(".B ORVALIS_SENHA")
        << roff(QStringLiteral("a senha do grupo para o comando enviar."))
        << QStringLiteral(".TP") << QStringLiteral(".B ORVALIS_WORKSPACE")
        << roff(QStringLiteral("a pasta de trabalho do programa instalado (padr\u00E3o: ~/Orvalis); a primeira "
                               "execu\u00E7\u00E3o a prepara com a aventura de exemplo Floresta."));
    out << QStringLiteral(".SH ARQUIVOS") << QStringLiteral(".TP") << QStringLiteral(".I ~/Orvalis/")
        << roff(QStringLiteral("a pasta de trabalho: uma pasta por aventura."))
        << QStringLiteral(".TP") << QStringLiteral(".I $XDG_STATE_HOME/orvalis/")
        << roff(QStringLiteral("o di\u00E1rio do que ainda n\u00E3o foi gravado (sen\u00E3o "
                               "~/.local/state/orvalis/), oferecido na pr\u00F3xima abertura depois de uma falha."));
    return (out.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

}  // namespace orv::CommandLine
