#include "CommandLine.h"
#include "ManualPage.h"

#include "document/PlainText.h"
#include "document/ReferenceIndex.h"
#include "document/ReferenceReport.h"
#include "document/Rename.h"
#include "TerminalPassword.h"

#include "core/Adventure.h"
#include "core/AdventureWorkspace.h"
#include "core/DurableWrite.h"
#include "core/FolderTransaction.h"
#include "core/ListFile.h"
#include "core/NewAdventure.h"
#include "core/OrvalisError.h"
#include "map/MapCompiler.h"
#include "map/MapModel.h"
#include "net/AdventureTransfer.h"
#include "net/ServerClient.h"
#include "net/ServerReply.h"
#include "net/SyncPlan.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include <cstdio>
#include <cstdlib>

namespace orv::CommandLine {

namespace {

const char kHelp[] =
    "Uso: orvalis COMANDO AVENTURA [opções]\n"
    "Sem argumentos, o programa abre o editor.\n"
    "\n"
    "Comandos:\n"
    "  compilar AVENTURA    grava o script de cada posição do mapa, como \"Compilar...\"\n"
    "      --modo 0|1|2         modo default pra os scripts (padrão: 1)\n"
    "      --ext png|jpg|gif    extensão da imagem da posição (padrão: png)\n"
    "      --gravacao 1|2|3     1: sobrepõe o script que já existe (padrão)\n"
    "                           2: cria script apenas se não existir\n"
    "                           3: insere no início do script (se existir)\n"
    "  verificar AVENTURA   lista os problemas da aventura, um por linha: os do mapa,\n"
    "                       as saídas, imagens, formas e objetos que faltam, as posições\n"
    "                       aonde nenhuma saída leva; e o que nada usa (nao-usado)\n"
    "      --inicio NOME        também as posições que não se alcançam a partir de NOME\n"
    "      --estrito            o que nada usa também dá código de saída 1\n"
    "      --json               a lista como um vetor JSON\n"
    "  usos AVENTURA NOME   cada lugar que nomeia NOME: arquivo:linha: tipo: texto\n"
    "                       (tipo: mapa, script, saida, imagem, objeto, local, forma,\n"
    "                       painel ou mencao); código 1 quando nada nomeia NOME\n"
    "      --json               a lista como um vetor JSON\n"
    "  renomear AVENTURA DE PARA\n"
    "                       renomeia a posição ou o objeto DE para PARA em toda parte:\n"
    "                       as referências, o script, o arquivo do objeto e as imagens\n"
    "                       da posição; as menções só são listadas. Tudo ou nada.\n"
    "      --simular            mostra o que seria feito e não muda nada\n"
    "  baixar AVENTURA      baixa do servidor todos os arquivos do grupo AVENTURA\n"
    "                       (cria a pasta da aventura se ela não existir)\n"
    "  enviar AVENTURA      envia ao servidor todos os arquivos da aventura, menos sen.txt\n"
    "                       senha: a variável ORVALIS_SENHA, senão o sen.txt da aventura,\n"
    "                       senão é perguntada no terminal; uma senha recusada para o\n"
    "                       envio no primeiro arquivo\n"
    "  estado AVENTURA      compara a aventura com o servidor sem mudar nada: uma linha\n"
    "                       \"nome: estado\" por arquivo diferente, estado local (mudou só\n"
    "                       aqui), servidor (mudou só lá), conflito (mudou dos dois lados),\n"
    "                       novo-local ou novo-servidor; código 1 quando há conflito e 2\n"
    "                       quando o servidor não guarda versões (não há com que comparar)\n"
    "  nova NOME            cria a aventura NOME na pasta de trabalho, pronta pra todos os\n"
    "                       editores, e mostra a pasta criada; um nome que já existe ou\n"
    "                       que não serve de nome de pasta dá código 2 e nada é criado\n"
    "\n"
    "Com um servidor que guarda versões, baixar e enviar só levam o que mudou: baixar\n"
    "não substitui o que mudou aqui, enviar não sobrepõe o que mudou lá, e um arquivo\n"
    "mudado dos dois lados (conflito) fica como está, é listado e dá código 1.\n"
    "      --forcar             baixar: substitui também os arquivos mudados aqui;\n"
    "                           enviar: sobrepõe também os mudados no servidor (que\n"
    "                           guarda a versão substituída no seu histórico)\n"
    "\n"
    "Opções de todos os comandos:\n"
    "  --pasta PASTA        a pasta de trabalho (padrão: a pasta do programa)\n"
    "  --help               mostra esta ajuda\n"
    "  --version            mostra a versão\n"
    "\n"
    "O progresso e os erros saem na saída de erros.\n"
    "Código de saída: 0 feito e nada errado; 1 o comando achou problemas ou um passo\n"
    "falhou; 2 uso errado (nenhum arquivo é tocado).\n";

const char kHint[] = "Use \"orvalis --help\" para ver o uso.\n";

// A wrong use of the command line: reported with a hint, exit 2.
struct WrongUseError {
    QString message;
    bool hint = true;
};

// A step that failed: reported, exit 1.
struct Failure {
    QString message;
};

QString shown(const QString& text) {
    return shownText(text);
}

QString plural(int n, const char* one, const char* many) {
    return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(n == 1 ? one : many);
}

struct Option {
    const char* name;
    QStringList commands;  // empty: every command
    QStringList values;    // empty: a flag; {"*"}: any text
};

const QList<Option>& options() {
    static const QList<Option> list = {
        {"--pasta", {}, {QStringLiteral("*")}},
        {"--modo", {QStringLiteral("compilar")}, {"0", "1", "2"}},
        {"--ext", {QStringLiteral("compilar")}, {"png", "jpg", "gif"}},
        {"--gravacao", {QStringLiteral("compilar")}, {"1", "2", "3"}},
        {"--json", {QStringLiteral("verificar"), QStringLiteral("usos")}, {}},
        {"--inicio", {QStringLiteral("verificar")}, {QStringLiteral("*")}},
        {"--estrito", {QStringLiteral("verificar")}, {}},
        {"--simular", {QStringLiteral("renomear")}, {}},
        {"--forcar", {QStringLiteral("baixar"), QStringLiteral("enviar")}, {}},
    };
    return list;
}

const QStringList kCommands = {QStringLiteral("compilar"), QStringLiteral("verificar"), QStringLiteral("baixar"),
                               QStringLiteral("enviar"),   QStringLiteral("estado"),    QStringLiteral("usos"),
                               QStringLiteral("renomear"), QStringLiteral("nova")};

// The names each command takes after the adventure's.
int namesAfterAdventure(const QString& command) {
    if (command == QLatin1String("usos"))
        return 1;
    if (command == QLatin1String("renomear"))
        return 2;
    return 0;
}

struct Invocation {
    QString command;
    QString adventure;
    QString workspace;  // with a trailing separator
    ScriptSettings settings;
    bool json = false;
    bool strict = false;
    bool simulate = false;
    bool force = false;
    std::optional<QString> start;
    QStringList names;  // usos: NOME; renomear: DE PARA
};

QString oneOf(const QStringList& values) {
    QStringList quoted = values;
    const QString last = quoted.takeLast();
    return quoted.join(QStringLiteral(", ")) + QStringLiteral(" ou ") + last;
}

Invocation parse(const QStringList& arguments, const QString& programFile) {
    QStringList positional;
    QList<QPair<const Option*, QString>> given;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) {
            positional.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? argument : argument.left(equals);
        const Option* option = nullptr;
        for (const Option& o : options())
            if (name == QLatin1String(o.name))
                option = &o;
        if (!option)
            throw WrongUseError{QStringLiteral("opção desconhecida: %1").arg(shown(name))};
        QString value;
        if (option->values.isEmpty()) {
            if (equals >= 0)
                throw WrongUseError{QStringLiteral("a opção %1 não leva valor").arg(name)};
        } else if (equals >= 0) {
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments.at(++i);
        } else {
            throw WrongUseError{QStringLiteral("falta o valor da opção %1").arg(name)};
        }
        if (!option->values.isEmpty()) {
            if (option->values == QStringList{QStringLiteral("*")}) {
                if (value.isEmpty())
                    throw WrongUseError{QStringLiteral("falta o valor da opção %1").arg(name)};
            } else if (!option->values.contains(value)) {
                throw WrongUseError{QStringLiteral("valor fora do permitido para %1: \"%2\" (use %3)")
                                        .arg(name, shown(value), oneOf(option->values))};
            }
        }
        given.append({option, value});
    }

    if (positional.isEmpty())
        throw WrongUseError{QStringLiteral("falta o comando (%1)").arg(oneOf(kCommands))};
    Invocation call;
    call.command = positional.takeFirst();
    if (!kCommands.contains(call.command))
        throw WrongUseError{QStringLiteral("comando desconhecido: %1").arg(shown(call.command))};
    if (positional.isEmpty())
        throw WrongUseError{QStringLiteral("falta o nome da aventura")};
    call.adventure = positional.takeFirst();
    const int names = namesAfterAdventure(call.command);
    if (positional.size() < names)
        throw WrongUseError{call.command == QLatin1String("usos") ? QStringLiteral("falta o NOME a procurar")
                                                                  : QStringLiteral("faltam os nomes DE e PARA")};
    call.names = positional.mid(0, names);
    positional = positional.mid(names);
    if (!positional.isEmpty())
        throw WrongUseError{QStringLiteral("argumento a mais: %1").arg(shown(positional.first()))};

    QString folder;
    for (const auto& [option, value] : given) {
        if (!option->commands.isEmpty() && !option->commands.contains(call.command))
            throw WrongUseError{
                QStringLiteral("a opção %1 não serve para o comando %2").arg(QLatin1String(option->name), call.command)};
        const QLatin1StringView name(option->name);
        if (name == QLatin1String("--pasta"))
            folder = value;
        else if (name == QLatin1String("--modo"))
            call.settings.defaultScriptMode = value;
        else if (name == QLatin1String("--ext"))
            call.settings.imageExtension = value;
        else if (name == QLatin1String("--gravacao"))
            call.settings.scriptWriteMode = value;
        else if (name == QLatin1String("--json"))
            call.json = true;
        else if (name == QLatin1String("--estrito"))
            call.strict = true;
        else if (name == QLatin1String("--simular"))
            call.simulate = true;
        else if (name == QLatin1String("--forcar"))
            call.force = true;
        else if (name == QLatin1String("--inicio"))
            call.start = value;
    }

    if (folder.isEmpty()) {
        call.workspace = AdventureWorkspace::workspaceFolderOf(programFile);
    } else {
        const QFileInfo info(folder);
        if (!info.isDir())
            throw WrongUseError{QStringLiteral("a pasta de trabalho não existe: %1").arg(shown(folder)), false};
        call.workspace = info.absoluteFilePath();
        if (!call.workspace.endsWith(QLatin1Char('/')))
            call.workspace += QLatin1Char('/');
    }

    if (call.command == QLatin1String("nova")) {
        const QString refused = NewAdventure::refusal(call.workspace, call.adventure);
        if (!refused.isEmpty())
            throw WrongUseError{refused, false};
        return call;
    }
    // The name becomes a folder of the workspace: nothing that could reach
    // outside it.
    if (!ServerReply::isPlainFileName(call.adventure))
        throw WrongUseError{QStringLiteral("nome de aventura inválido: \"%1\"").arg(shown(call.adventure)), false};
    // Only "baixar" may bring an adventure the workspace does not have yet.
    if (call.command != QLatin1String("baixar") && !QFileInfo(call.workspace + call.adventure).isDir())
        throw WrongUseError{QStringLiteral("a aventura \"%1\" não está na pasta de trabalho %2")
                                .arg(shown(call.adventure), shown(call.workspace)),
                            false};
    return call;
}

class Runner {
public:
    Runner(const Invocation& call, const Console& console) : call_(call), io_(console) {}

    int run() {
        if (call_.command == QLatin1String("compilar"))
            return compile();
        if (call_.command == QLatin1String("verificar"))
            return check();
        if (call_.command == QLatin1String("baixar"))
            return download();
        if (call_.command == QLatin1String("usos"))
            return uses();
        if (call_.command == QLatin1String("renomear"))
            return rename();
        if (call_.command == QLatin1String("estado"))
            return status();
        if (call_.command == QLatin1String("nova"))
            return createAdventure();
        return upload();
    }

private:
    QString folder() const { return call_.workspace + call_.adventure + QLatin1Char('/'); }
    QString mapFile() const { return folder() + call_.adventure + QStringLiteral(".map"); }

    // What a killed run left half written in the adventure folder goes first,
    // whatever the command then finds: it is never the author's file, and a
    // copy or an archive of the folder must not take it along.
    void clearStaleTemporaries() const {
        if (!QFileInfo(folder()).isDir())
            return;
        removeStaleTemporaries(folder());
        finishPendingChange();
    }

    // A rename cut short by a crash is done (or undone) before anything
    // reads the files.
    void finishPendingChange() const {
        if (QFileInfo(folder()).isDir() && FolderTransaction::finishPending(folder()))
            note(QStringLiteral("Uma mudança de vários arquivos interrompida foi concluída ou desfeita."));
    }

    ReferenceIndex readIndex() const {
        ReferenceIndex index;
        index.refresh(folder(), call_.adventure);
        return index;
    }

    void say(const QString& line) const { io_.out((line + QLatin1Char('\n')).toLocal8Bit()); }
    void note(const QString& line) const { io_.err((line + QLatin1Char('\n')).toLocal8Bit()); }

    QStringList readMap() const {
        if (!QFileInfo(mapFile()).isFile())
            throw Failure{QStringLiteral("a aventura \"%1\" não tem o arquivo do mapa %2")
                              .arg(shown(call_.adventure), shown(mapFile()))};
        try {
            return MapModel::readLines(mapFile());
        } catch (const OrvalisError& error) {
            throw Failure{error.text()};
        }
    }

    int createAdventure() const {
        const NewAdventure::Result result = NewAdventure::create(call_.workspace, call_.adventure);
        if (!result.created)
            throw Failure{result.message};
        say(QDir::toNativeSeparators(result.folder));
        return Done;
    }

    int compile() const {
        clearStaleTemporaries();
        const QStringList lines = readMap();
        MapCompiler::CompileCount count;
        try {
            count = MapCompiler::compile(lines, call_.settings, folder());
        } catch (const OrvalisError& error) {
            throw Failure{error.text()};
        }
        say(QStringLiteral("Scripts compilados: %1, %2.")
                .arg(plural(count.written, "gravado", "gravados"),
                     plural(count.kept, "deixado como estava", "deixados como estavam")));
        return Done;
    }

    int check() const {
        clearStaleTemporaries();
        readMap();  // the map file must be there
        const ReferenceIndex index = readIndex();
        if (call_.start && !index.isPosition(*call_.start))
            throw WrongUseError{QStringLiteral("a posição de início \"%1\" não está no mapa").arg(shown(*call_.start)),
                                false};
        const QList<ReferenceProblem> problems = index.problems(call_.start);
        int counted = 0;
        int unused = 0;
        for (const ReferenceProblem& problem : problems)
            problem.isUnused() ? ++unused : ++counted;
        if (call_.json) {
            io_.out(ReferenceReport::problemsJson(problems));
        } else {
            for (const ReferenceProblem& problem : problems)
                say(ReferenceReport::problemLine(problem));
            QString summary = counted == 0 ? QStringLiteral("Aventura sem problemas.")
                                           : plural(counted, "problema.", "problemas.");
            if (unused > 0)
                summary += QLatin1Char(' ') + plural(unused, "arquivo que nada usa.", "arquivos que nada usa.");
            note(summary);
        }
        return counted > 0 || (call_.strict && unused > 0) ? Problems : Done;
    }

    int uses() const {
        clearStaleTemporaries();
        const ReferenceIndex index = readIndex();
        const QList<Reference> found = index.usesOf(call_.names.at(0));
        if (call_.json) {
            io_.out(ReferenceReport::usesJson(found));
        } else {
            for (const Reference& reference : found)
                say(ReferenceReport::referenceLine(reference));
            if (found.isEmpty())
                note(QStringLiteral("Nada nomeia \"%1\".").arg(shown(call_.names.at(0))));
        }
        return found.isEmpty() ? Problems : Done;
    }

    int rename() const {
        // A rename cut short is finished first (the plan must read whole
        // files); a refused one touches nothing else.
        finishPendingChange();
        const ReferenceIndex index = readIndex();
        RenamePlan plan = Rename::plan(index, call_.names.at(0), call_.names.at(1));
        if (!plan.canBeDone())
            throw WrongUseError{QStringLiteral("não é possível renomear \"%1\" para \"%2\": %3")
                                    .arg(shown(plan.from), shown(plan.to), shown(plan.refusal)),
                                false};
        clearStaleTemporaries();
        for (const QString& line : ReferenceReport::planLines(plan))
            say(line);
        if (call_.simulate) {
            note(QStringLiteral("Simulação: nenhum arquivo foi mudado."));
            return Done;
        }
        try {
            plan.transaction.commit();
        } catch (const OrvalisError& error) {
            throw Failure{error.text()};
        }
        note(QStringLiteral("Renomeado \"%1\" para \"%2\": %3, %4, %5.")
                 .arg(shown(plan.from), shown(plan.to),
                      plural(int(plan.renamedFiles.size()), "arquivo renomeado", "arquivos renomeados"),
                      plural(int(plan.rewritten.size()), "referência reescrita", "referências reescritas"),
                      plural(int(plan.mentions.size()), "menção deixada como estava",
                             "menções deixadas como estavam")));
        return Done;
    }

    QString serverAddress() const {
        return ServerClient::configuredBaseAddress(io_.environment(ServerClient::kAddressVariable));
    }

    // The group must be one the server lists, as in the connection window,
    // where the author picks it from that list.
    void requireGroup(ServerClient& client) const {
        const QStringList reply = client.listGroups();
        if (!ServerReply::isOk(reply))
            throw Failure{QStringLiteral("o servidor não listou os grupos: %1").arg(shown(reply.value(0)))};
        for (const QString& entry : reply.mid(1))
            if (ServerReply::groupAdventureName(entry) == call_.adventure)
                return;
        throw Failure{QStringLiteral("o servidor não tem o grupo \"%1\"").arg(shown(call_.adventure))};
    }

    AdventureTransfer::Progress progress() {
        return {[](const QString&) {}, [](int, int) {},
                [this](int number, int count, const QString& name) {
                    current_ = name;
                    note(QStringLiteral("arquivo %1 de %2: %3").arg(number).arg(count).arg(shown(name)));
                }};
    }

    int download() {
        clearStaleTemporaries();
        ServerClient client(serverAddress());
        requireGroup(client);
        // As choosing the group in the connection window: the folder is made
        // when missing and the adventure opened (its missing list files are
        // created, stale temporary files cleared) before the download.
        QDir workspace(call_.workspace);
        if (!workspace.exists(call_.adventure) && !workspace.mkdir(call_.adventure))
            throw Failure{QStringLiteral("não foi possível criar a pasta %1").arg(shown(folder()))};
        Adventure adventure(call_.workspace);
        adventure.open(call_.adventure);
        adventure.readFiles([](const QString&) {});

        AdventureTransfer::Options options;
        options.force = call_.force;
        const AdventureTransfer::DownloadResult result =
            AdventureTransfer::downloadAll(client, call_.adventure, adventure.folder(), progress(), options);
        if (!result.listed)
            throw Failure{QStringLiteral("o servidor não listou os arquivos de \"%1\": %2")
                              .arg(shown(call_.adventure), shown(result.refusal))};
        int code = Done;
        if (!result.keptLocal.isEmpty())
            listNames(QStringLiteral("Mudados só aqui, não baixados (%1):"), result.keptLocal);
        if (!result.conflicts.isEmpty()) {
            listConflicts(result.conflicts, QStringLiteral("baixar --forcar"));
            code = Problems;
        }
        if (!result.recordError.isEmpty()) {
            note(QStringLiteral("O registro do que foi trocado não foi gravado: ") + result.recordError);
            code = Problems;
        }
        if (!result.failed.isEmpty()) {
            note(QStringLiteral("Não baixados (%1):").arg(result.failed.size()));
            for (const QString& name : result.failed)
                note(QStringLiteral("  ") + shown(name));
            return Problems;
        }
        const bool nothingThere = result.written.isEmpty() && result.unchanged.isEmpty() &&
                                  result.keptLocal.isEmpty() && result.conflicts.isEmpty();
        QString done = nothingThere ? QStringLiteral("Pasta vazia: o servidor não tem arquivos de \"%1\".")
                                          .arg(shown(call_.adventure))
                                    : QStringLiteral("Download completo: %1")
                                          .arg(plural(int(result.written.size()), "arquivo", "arquivos"));
        if (!nothingThere) {
            if (!result.unchanged.isEmpty())
                done += QStringLiteral(" (%1 sem mudança, não baixados)").arg(result.unchanged.size());
            done += QLatin1Char('.');
        }
        say(done);
        return code;
    }

    void listNames(const QString& title, const QStringList& names) const {
        note(title.arg(names.size()));
        for (const QString& name : names)
            note(QStringLiteral("  ") + shown(name));
    }

    // Conflicts go to the standard output, one "nome: conflito" line each,
    // as "estado" prints them; what to do about them to the error output.
    void listConflicts(const QList<FileSync>& conflicts, const QString& forced) const {
        for (const FileSync& file : conflicts)
            say(QStringLiteral("%1: %2").arg(shown(file.name), syncStateKey(SyncState::Conflict)));
        note(QStringLiteral("%1 mudado(s) aqui e no servidor desde a última troca: nada foi mudado neles. "
                            "\"orvalis estado %2\" lista o que difere; \"%3\" sobrepõe.")
                 .arg(conflicts.size())
                 .arg(shown(call_.adventure), forced));
    }

    int status() {
        clearStaleTemporaries();
        ServerClient client(serverAddress());
        requireGroup(client);
        const AdventureTransfer::Status status =
            AdventureTransfer::compareWithServer(client, call_.adventure, folder());
        if (!status.listed)
            throw Failure{QStringLiteral("o servidor não listou os arquivos de \"%1\": %2")
                              .arg(shown(call_.adventure), shown(status.refusal))};
        if (!status.revisions) {
            note(QStringLiteral("orvalis: o servidor não guarda versões dos arquivos: não há com que comparar "
                                "(baixar e enviar levam todos os arquivos)."));
            return WrongUse;
        }
        QList<FileSync> differing;
        for (const FileSync& file : status.plan)
            if (file.state != SyncState::Same)
                differing.append(file);
        std::sort(differing.begin(), differing.end(),
                  [](const FileSync& a, const FileSync& b) { return a.name < b.name; });
        bool conflict = false;
        for (const FileSync& file : differing) {
            say(QStringLiteral("%1: %2").arg(shown(file.name), syncStateKey(file.state)));
            conflict |= file.state == SyncState::Conflict;
        }
        return conflict ? Problems : Done;
    }

    // Never an option: it would show in the process list.
    QString password() const {
        QString text = io_.environment("ORVALIS_SENHA");
        if (!text.isEmpty())
            return text;
        const QString file = folder() + QLatin1String(AdventureTransfer::kPasswordFile);
        if (QFileInfo(file).isFile()) {
            try {
                text = ListFile::read(file).value(0);
            } catch (const OrvalisError& error) {
                throw Failure{error.text()};
            }
            if (!text.isEmpty())
                return text;
        }
        if (io_.askPassword)
            text = io_.askPassword(QStringLiteral("Senha do grupo %1: ").arg(shown(call_.adventure))).value_or(QString());
        if (text.isEmpty())
            throw WrongUseError{QStringLiteral("Falta senha!"), false};
        return text;
    }

    int upload() {
        // A missing password is a wrong use, which touches nothing.
        const QString secret = password();
        clearStaleTemporaries();
        ServerClient client(serverAddress());
        requireGroup(client);
        AdventureTransfer::UploadResult result;
        AdventureTransfer::Options options;
        options.force = call_.force;
        // A command has listed nothing yet: it asks, so that a server that
        // keeps versions is never overwritten unseen.
        options.probe = true;
        try {
            result = AdventureTransfer::uploadAll(client, call_.adventure, folder(), secret, progress(), options);
        } catch (const OrvalisError& error) {
            throw Failure{current_.isEmpty() ? error.text()
                                             : QStringLiteral("%1\nEnvio interrompido em %2.")
                                                   .arg(error.text(), shown(current_))};
        }
        int code = Done;
        if (!result.leftOnServer.isEmpty())
            listNames(QStringLiteral("Mudados só no servidor, não enviados (%1):"), result.leftOnServer);
        if (!result.conflicts.isEmpty()) {
            listConflicts(result.conflicts, QStringLiteral("enviar --forcar"));
            code = Problems;
        }
        if (!result.recordError.isEmpty()) {
            note(QStringLiteral("O registro do que foi trocado não foi gravado: ") + result.recordError);
            code = Problems;
        }
        if (!result.refused.isEmpty()) {
            note(QStringLiteral("Recusados pelo servidor (%1):").arg(result.refused.size()));
            for (const auto& [name, reply] : result.refused)
                note(QStringLiteral("  %1: %2").arg(shown(name), shown(reply.trimmed())));
            if (result.wrongPassword)
                note(QStringLiteral("Envio interrompido: a senha foi recusada, nenhum outro arquivo foi tentado."));
            return Problems;
        }
        QString done = result.sent.isEmpty()
                           ? QStringLiteral("Upload completo: nenhum arquivo a enviar")
                           : QStringLiteral("Upload completo: %1")
                                 .arg(plural(int(result.sent.size()), "arquivo enviado", "arquivos enviados"));
        if (!result.unchanged.isEmpty())
            done += QStringLiteral(" (%1 sem mudança, não enviados)").arg(result.unchanged.size());
        say(done + QLatin1Char('.'));
        return code;
    }

    const Invocation& call_;
    const Console& io_;
    QString current_;
};

void writeTo(std::FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The bash completion script, from the same tables the parser reads: the
// commands, each command's options and their values, and the adventures of
// the workspace (--pasta's folder, else the program's; for the installed
// launcher, a script, its workspace ORVALIS_WORKSPACE or ~/Orvalis).
QByteArray bashCompletion() {
    QString valued, words;
    QStringList cases;
    for (const QString& command : kCommands) {
        QStringList names = {QStringLiteral("--help"), QStringLiteral("--version")};
        for (const Option& o : options())
            if (o.commands.isEmpty() || o.commands.contains(command))
                names.append(QLatin1String(o.name));
        cases.append(QStringLiteral("    %1) opts='%2' ;;").arg(command, names.join(QLatin1Char(' '))));
    }
    QStringList valueCases;
    for (const Option& o : options()) {
        if (o.values.isEmpty())
            continue;
        if (o.values == QStringList{QStringLiteral("*")})
            valueCases.append(QStringLiteral("    %1) %2; return ;;")
                                  .arg(QLatin1String(o.name), QLatin1String(o.name) == QLatin1String("--pasta")
                                                                  ? QStringLiteral("COMPREPLY=($(compgen -d -- \"$cur\"))")
                                                                  : QStringLiteral("COMPREPLY=()")));
        else
            valueCases.append(QStringLiteral("    %1) COMPREPLY=($(compgen -W '%2' -- \"$cur\")); return ;;")
                                  .arg(QLatin1String(o.name), o.values.join(QLatin1Char(' '))));
        valued += QLatin1String(o.name) + QLatin1Char(' ');
    }
    static const char kScript[] = R"sh(# bash completion for orvalis, made by "orvalis --completar-bash".
_orvalis_adventures() {
  local ws=$1 d name
  for d in "$ws"/*/; do
    name=${d%/}; name=${name##*/}
    [ -e "$d$name.ini" ] && [ -e "$d$name.rgs" ] && [ -e "$d$name.obx" ] && [ -e "$d$name.obz" ] &&
      printf '%s\n' "$name"
  done
}
_orvalis() {
  COMPREPLY=()
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local valued=' @VALUED@' command='' positional=0 ws='' i w
  for ((i = 1; i < COMP_CWORD; i++)); do
    w=${COMP_WORDS[i]}
    if [[ $w == --pasta ]]; then ws=${COMP_WORDS[i+1]}; fi
    if [[ $w == --pasta=* ]]; then ws=${w#--pasta=}; fi
    if [[ $w == -* ]]; then
      [[ $w != *=* && $valued == *" $w "* ]] && ((i++))
      continue
    fi
    [ -z "$command" ] && command=$w || ((positional++))
  done
  case $prev in
@VALUECASES@
  esac
  local opts='--help --version'
  case $command in
@CASES@
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$opts" -- "$cur"))
  elif [ -z "$command" ]; then
    COMPREPLY=($(compgen -W '@COMMANDS@' -- "$cur"))
  elif [ "$positional" -eq 0 ] && [ "$command" != nova ]; then
    # A new adventure's name is a new one: nothing to offer.
    if [ -z "$ws" ]; then
      local program
      program=$(type -P "${COMP_WORDS[0]}") || return
      program=$(readlink -f "$program")
      if [ "$(head -c 2 "$program" 2>/dev/null)" = '#!' ]; then
        ws=${ORVALIS_WORKSPACE:-$HOME/Orvalis}
      else
        ws=${program%/*}
      fi
    fi
    ws=${ws/#\~/$HOME}
    local IFS=$'\n'
    COMPREPLY=($(compgen -W "$(_orvalis_adventures "${ws%/}")" -- "$cur"))
  fi
}
complete -F _orvalis orvalis
)sh";
    QString script = QString::fromUtf8(kScript);
    script.replace(QStringLiteral("@VALUED@"), valued);
    script.replace(QStringLiteral("@VALUECASES@"), valueCases.join(QLatin1Char('\n')));
    script.replace(QStringLiteral("@CASES@"), cases.join(QLatin1Char('\n')));
    script.replace(QStringLiteral("@COMMANDS@"), kCommands.join(QLatin1Char(' ')));
    return script.toUtf8();
}

}  // namespace

bool wantsCommand(int argc, char** argv) {
    if (argc < 2)
        return false;
    const char* first = argv[1];
    if (first[0] == '-' && first[1] == 'h' && first[2] == '\0')
        return true;
    return !(first[0] == '-' && first[1] != '-' && first[1] != '\0');
}

Console processConsole() {
    return {[](const QByteArray& bytes) { writeTo(stdout, bytes); },
            [](const QByteArray& bytes) { writeTo(stderr, bytes); },
            [](const QString& prompt) { return askPasswordOnTerminal(prompt); },
            [](const char* name) { return qEnvironmentVariable(name); }};
}

int run(const QStringList& arguments, const QString& programFile, const Console& console) {
    // Asking for help or the version is never wrong, wherever it stands.
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--"))
            break;
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            console.out(QByteArray(kHelp));
            return Done;
        }
        // Not in the help: the build makes the manual page with it.
        if (argument == QLatin1String("--pagina-manual")) {
            console.out(manualPage(kHelp, ORVALIS_VERSION));
            return Done;
        }
        if (argument == QLatin1String("--completar-bash")) {
            console.out(bashCompletion());
            return Done;
        }
        if (argument == QLatin1String("--version")) {
            console.out(QByteArrayLiteral("orvalis " ORVALIS_VERSION "\n"));
            return Done;
        }
    }
    auto complain = [&](const QString& message) {
        console.err((QStringLiteral("orvalis: ") + message + QLatin1Char('\n')).toLocal8Bit());
    };
    try {
        const Invocation call = parse(arguments, programFile);
        return Runner(call, console).run();
    } catch (const WrongUseError& error) {
        complain(error.message);
        if (error.hint)
            console.err(QByteArray(kHint));
        return WrongUse;
    } catch (const Failure& failure) {
        complain(failure.message);
        return Problems;
    } catch (const OrvalisError& error) {
        complain(error.text());
        return Problems;
    } catch (const std::exception& error) {
        complain(QString::fromLocal8Bit(error.what()));
        return Problems;
    }
}

}  // namespace orv::CommandLine
