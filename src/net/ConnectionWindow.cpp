#include "ConnectionWindow.h"
#include "SyncWindow.h"
#include "widgets/Question.h"
#include "core/ErrorReport.h"

#include "AdventureTransfer.h"
#include "ServerClient.h"
#include "ServerReply.h"
#include "widgets/Controls.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "net/ItemTransfer.h"
#include "widgets/PictureBox.h"
#include "core/Adventure.h"
#include "document/AdventureDocument.h"
#include "widgets/DragState.h"
#include "net/Connection.h"

#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>

namespace orv {

namespace {
const QColor kMaroon(128, 0, 0);
const QColor kOrange(255, 128, 0);
const QColor kNavy(0, 0, 128);

// The toolkit's password mode draws its own mask character (a bullet); the
// style hint it asks for is the one place to make it "#".
class HashMaskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_LineEdit_PasswordCharacter)
            return '#';
        if (hint == QStyle::SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// A caption that acts on a click, like the "[-]" beside the password box.
class ClickLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick)
            onClick();
    }
};

}  // namespace

Gauge::Gauge(QWidget* parent, const QString& name, QRect geometry) : QWidget(parent) {
    setObjectName(name);
    setGeometry(geometry);
}

void Gauge::setProgress(int progress, int maximum) {
    maximum_ = qMax(0, maximum);
    progress_ = qBound(0, progress, maximum_);
    repaint();
}

void Gauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kMaroon);
    if (maximum_ > 0 && progress_ > 0)
        painter.fillRect(QRect(0, 0, int(qint64(width()) * progress_ / maximum_), height()), kOrange);
}

PasswordBox::PasswordBox(QWidget* parent, const QString& name) : QLineEdit(parent) {
    setObjectName(name);
    auto* style = new HashMaskStyle;
    style->setParent(this);
    setStyle(style);
    setMasked(true);
}

void PasswordBox::setMasked(bool masked) {
    setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
}

ConnectionWindow::ConnectionWindow(QWidget* parent, AdventureDocument& document, Connection& connection,
                                   DragState& drag, MainWindowSteps steps)
    : ToolWindow(parent,
                 {QStringLiteral("JanCnc"), QStringLiteral("Grupos:"), QStringLiteral("brCnc"), 159,
                  QStringLiteral("btJanCnc"), QRect(205, 280, 421, 296)},
                 drag),
      document_(document), adventure_(document.adventure()), connection_(connection), steps_(std::move(steps)) {
    groupList_ = new QListWidget(this);
    groupList_->setObjectName(QStringLiteral("LstGrp"));
    groupList_->setGeometry(10, 32, 401, 160);
    QFont listFont(QStringLiteral("Arial"));
    listFont.setPixelSize(14);
    listFont.setBold(true);
    groupList_->setFont(listFont);
    groupList_->setStyleSheet(QStringLiteral("QListWidget { background: rgb(224,224,224); color: black; }"));
    connect(groupList_, &QListWidget::itemDoubleClicked, this, reported([this] { LstGrpDblClick(); }));

    makeLabel(this, QStringLiteral("lbSenha"), QStringLiteral("Senha do grupo:"), {10, 202},
              LabelStyle{13, true, false, kNavy});
    passwordEdit_ = new PasswordBox(this, QStringLiteral("Senha"));
    passwordEdit_->setGeometry(10, 220, 200, 22);
    connect(passwordEdit_, &QLineEdit::returnPressed, this, reported([this] { SenhaKeyPress(); }));
    // The box shows the connection's password and edits it.
    connect(passwordEdit_, &QLineEdit::textChanged, &connection_, &Connection::setPassword);
    connect(&connection_, &Connection::passwordChanged, this, [this](const QString& password) {
        if (passwordEdit_->text() != password)
            passwordEdit_->setText(password);
    });

    auto* toggle = new ClickLabel(QStringLiteral("[-]"), this);
    toggle->setObjectName(QStringLiteral("Label46"));
    QFont toggleFont(QStringLiteral("Arial"));
    toggleFont.setPixelSize(13);
    toggleFont.setBold(true);
    toggle->setFont(toggleFont);
    toggle->move(216, 223);
    toggle->adjustSize();
    toggle->setCursor(Qt::PointingHandCursor);
    toggle->onClick = [this] { Label46Click(); };
    passwordToggle_ = toggle;

    statusLine_ = makeStatusLabel(this, QStringLiteral("Msg2"), {260, 270}, 156);

    downloadAllButton_ = makeIconButton(this, QStringLiteral("btDwAdv"), {262, 200}, [this] { btDwAdvClick(); });
    downloadAllCaption_ = makeLabel(this, QStringLiteral("Label10"), QStringLiteral("Download total..."),
                                    {296, 204}, LabelStyle{13, true, false, kNavy});
    uploadAllButton_ = makeIconButton(this, QStringLiteral("btUpAdv"), {262, 226}, [this] { btUpAdvClick(); });
    uploadAllCaption_ = makeLabel(this, QStringLiteral("Label11"), QStringLiteral("Upload total..."), {296, 230},
                                  LabelStyle{13, true, false, kNavy});
    gauge_ = new Gauge(this, QStringLiteral("G1"), QRect(262, 253, 80, 13));
    // Left of the gauge, below the password box: nothing else is there.
    stopButton_ = makeSmallButton(this, QStringLiteral("btCanTrf"), QStringLiteral("Parar"), {198, 248},
                                  [this] { btCanTrfClick(); });
    stopButton_->hide();
    for (QWidget* w : {static_cast<QWidget*>(downloadAllButton_), static_cast<QWidget*>(downloadAllCaption_),
                       static_cast<QWidget*>(uploadAllButton_), static_cast<QWidget*>(uploadAllCaption_),
                       static_cast<QWidget*>(gauge_)})
        w->hide();
}

void ConnectionWindow::setStatus(const QString& text) {
    statusLine_->setText(text);
    statusLine_->repaint();
}

void ConnectionWindow::showWholeTransfer() {
    for (QWidget* w : {static_cast<QWidget*>(downloadAllButton_), static_cast<QWidget*>(downloadAllCaption_),
                       static_cast<QWidget*>(uploadAllButton_), static_cast<QWidget*>(uploadAllCaption_),
                       static_cast<QWidget*>(gauge_)})
        w->show();
}

void ConnectionWindow::Connect() {
    // The client is the running transfer's until it ends.
    if (connection_.transferRunning()) {
        show();
        raise();
        return;
    }
    statusLine_->clear();
    if (steps_.hideFullWidthViews)
        steps_.hideFullWidthViews();
    raise();
    // A failed request is thrown from here: the window stays as it was.
    const QStringList reply = connection_.client().listGroups();
    if (ServerReply::isOk(reply)) {
        groupList_->clear();
        groupList_->addItems(reply.mid(1));
        connection_.setState(ConnectionState::Connected);
    }
    show();
    if (connection_.isReady())
        showWholeTransfer();
}

void ConnectionWindow::LstGrpDblClick() {
    QListWidgetItem* item = groupList_->currentItem();
    if (transferRunning() || !item || !item->isSelected())
        return;
    const QString entry = item->text();
    statusLine_->clear();
    statusLine_->repaint();
    showFailedDownloads({});
    const QString name = ServerReply::groupAdventureName(entry);
    // The name becomes a folder of the workspace: one that is empty or could
    // reach outside it ("..", a folder part) is refused.
    if (!ServerReply::isPlainFileName(name)) {
        setStatus(QStringLiteral("Grupo inválido!"));
        return;
    }
    QDir workspace(adventure_.workspaceFolder());
    if (!workspace.exists(name) && !workspace.mkdir(name))
        throw OrvalisError(QStringLiteral("Não foi possível criar a pasta %1").arg(adventure_.workspaceFolder() + name));
    document_.open(name);
    if (steps_.groupOpened)
        steps_.groupOpened(entry);
    setStatus(QStringLiteral("Pronto para edição!"));
    // The editors show their Upload and Down buttons as the state becomes ready.
    connection_.setState(ConnectionState::Ready);
    showWholeTransfer();
}

void ConnectionWindow::SenhaKeyPress() {
    // With no adventure open the file would land in whatever the current
    // directory is; the key is ignored then.
    if (!adventure_.isOpen())
        return;
    // The transfer under way took its password when it started; the file
    // waits till it has ended.
    if (transferRunning()) {
        setStatus(ItemTransfer::transferRunningText());
        return;
    }
    ListFile::write(adventure_.path(QLatin1String(AdventureTransfer::kPasswordFile)), {passwordEdit_->text()});
}

void ConnectionWindow::Label46Click() {
    passwordEdit_->setMasked(!passwordEdit_->masked());
}

namespace {
// The window may fall this many updates behind its transfer; the worker
// waits for it beyond that, so the updates never pile up faster than the
// window paints them.
constexpr int kMaxUnshown = 64;
}  // namespace

// One whole transfer: what the worker needs, copied before it starts, and
// what it leaves for the interface thread.
struct ConnectionWindow::Run {
    bool upload = false;
    QString name;
    QString folder;
    QString password;
    std::atomic<bool> stop{false};
    bool quiet = false;  // interface thread only
    QThread* thread = nullptr;

    // Written by the worker, read once its thread has finished.
    AdventureTransfer::DownloadResult downloaded;
    AdventureTransfer::UploadResult uploaded;
    std::exception_ptr error;

    // Updates posted to the window and not yet shown.
    std::mutex lock;
    std::condition_variable shown;
    int unshown = 0;

    void requestStop() {
        {
            const std::lock_guard<std::mutex> guard(lock);
            stop = true;
        }
        shown.notify_all();
    }
};

ConnectionWindow::~ConnectionWindow() {
    // The worker posts to this window and uses the connection's client.
    if (run_) {
        run_->requestStop();
        run_->thread->wait();
        delete run_->thread;
    }
}

bool ConnectionWindow::transferRunning() const {
    return document_.transferRunning();
}

void ConnectionWindow::setTransferRunning(bool running) {
    connection_.setTransferRunning(running);
    document_.setTransferRunning(running);
}

void ConnectionWindow::btDwAdvClick() {
    // One transfer at a time: the client, the gauge and the status line
    // belong to it.
    if (transferRunning())
        return;
    statusLine_->clear();
    if (!connection_.isReady())
        return;
    auto run = std::make_shared<Run>();
    run->name = adventure_.name();
    run->folder = adventure_.folder();
    startTransfer(run);
}

void ConnectionWindow::btUpAdvClick() {
    if (transferRunning())
        return;
    const QString password = passwordEdit_->text();
    if (password.isEmpty()) {
        setStatus(QStringLiteral("Falta senha!"));
        return;
    }
    statusLine_->clear();
    if (!connection_.isReady())
        return;
    showFailedDownloads({});
    auto run = std::make_shared<Run>();
    run->upload = true;
    run->name = adventure_.name();
    run->folder = adventure_.folder();
    run->password = password;
    startTransfer(run);
}

void ConnectionWindow::btCanTrfClick() {
    stopTransfer();
}

void ConnectionWindow::stopTransfer(bool quietly) {
    if (!run_)
        return;
    if (quietly)
        run_->quiet = true;
    run_->requestStop();
}

void ConnectionWindow::startTransfer(const std::shared_ptr<Run>& run) {
    run_ = run;
    setTransferRunning(true);
    stopButton_->show();
    DrawSmallButtonUp(stopButton_, Qt::black);

    // Everything the window shows goes through here: queued to the
    // interface thread, dropped once the run is over.
    const auto post = [this, run](std::function<void()> show) {
        {
            const std::lock_guard<std::mutex> guard(run->lock);
            ++run->unshown;
        }
        QMetaObject::invokeMethod(
            this,
            [this, run, show = std::move(show)] {
                {
                    const std::lock_guard<std::mutex> guard(run->lock);
                    --run->unshown;
                }
                run->shown.notify_all();
                if (run_ == run)
                    show();
            },
            Qt::QueuedConnection);
        std::unique_lock<std::mutex> guard(run->lock);
        run->shown.wait(guard, [&] { return run->unshown < kMaxUnshown || run->stop; });
    };
    AdventureTransfer::Progress progress{
        [this, post](const QString& text) { post([this, text] { setStatus(text); }); },
        [this, post](int at, int maximum) { post([this, at, maximum] { gauge_->setProgress(at, maximum); }); },
        [this, post](int number, int count, const QString& name) {
            post([this, text = QStringLiteral("%1 de %2: %3").arg(number).arg(count).arg(name)] { setStatus(text); });
        },
        [run] { return run->stop.load(); }};

    ServerClient* client = &connection_.client();
    run->thread = QThread::create([run, client, progress] {
        try {
            if (run->upload)
                run->uploaded = AdventureTransfer::uploadAll(*client, run->name, run->folder, run->password, progress);
            else
                run->downloaded = AdventureTransfer::downloadAll(*client, run->name, run->folder, progress);
        } catch (...) {
            run->error = std::current_exception();
        }
    });
    connect(run->thread, &QThread::finished, this, [this, run] {
        if (run_ == run)
            transferEnded(run);
    });
    run->thread->start();
}

void ConnectionWindow::finishTransferNow() {
    if (!run_)
        return;
    const std::shared_ptr<Run> run = run_;
    run->quiet = true;
    run->requestStop();
    run->thread->wait();
    // What the worker posted, its final text and its end included.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    if (run_ == run)
        transferEnded(run);
}

void ConnectionWindow::transferEnded(const std::shared_ptr<Run>& run) {
    run->thread->wait();
    delete run->thread;
    run->thread = nullptr;
    run_.reset();
    stopButton_->hide();
    // The transfer lasts until its questions are answered: the conflict
    // window uses the client, on this thread now.
    struct Finally {
        ConnectionWindow* window;
        ~Finally() { window->setTransferRunning(false); }
    } finally{this};
    reportErrors([&] {
        if (run->error)
            std::rethrow_exception(run->error);
        if (run->upload) {
            const AdventureTransfer::UploadResult& result = run->uploaded;
            if (!result.recordError.isEmpty())
                setStatus(result.recordError);
            if (!run->quiet)
                resolveConflicts(run->name, run->folder, result.conflicts);
            return;
        }
        const AdventureTransfer::DownloadResult& result = run->downloaded;
        showFailedDownloads(result.failed);
        reloadDownloadedLists(run->name, result.written);
        // After the final text: a failure is never left looking like a success.
        if (!result.notWritten.isEmpty() && !run->quiet) {
            QStringList lines;
            for (const auto& [file, reason] : result.notWritten)
                lines << QStringLiteral("%1: %2").arg(file, reason);
            Question::ask(this, QStringLiteral("JanFalha"), QStringLiteral("Download incompleto"),
                          QStringLiteral("Estes arquivos não foram gravados:\n") + lines.join(QLatin1Char('\n')),
                          {{0, QStringLiteral("btFalhaOk"), QStringLiteral("Ok"), true, true}});
        }
        if (!result.recordError.isEmpty())
            setStatus(result.recordError);
        if (!run->quiet)
            resolveConflicts(run->name, run->folder, result.conflicts);
    });
}

void ConnectionWindow::resolveConflicts(const QString& name, const QString& folder,
                                        const QList<FileSync>& conflicts) {
    SyncWindow::showConflicts(this, conflicts, [this, name, folder](const FileSync& file,
                                                                   AdventureTransfer::ConflictChoice choice) {
        const QString password = passwordEdit_->text();
        if (choice == AdventureTransfer::ConflictChoice::Mine && password.isEmpty())
            return QStringLiteral("Falta senha!");
        const QString reply =
            AdventureTransfer::resolveConflict(connection_.client(), name, folder, password, file, choice);
        if (reply == QLatin1String("Ok") && choice == AdventureTransfer::ConflictChoice::Theirs)
            reloadDownloadedLists(name, {file.name});
        return reply;
    });
}

void ConnectionWindow::showFailedDownloads(const QStringList& failed) {
    // The status keeps its last text; the files to fetch again are named
    // where the author points at the status line and the gauge, until the
    // next transfer or another group.
    failedDownloads_ = failed;
    const QString failures =
        failed.isEmpty() ? QString() : QStringLiteral("Falharam: ") + failed.join(QStringLiteral(", "));
    statusLine_->setToolTip(failures);
    gauge_->setToolTip(failures);
}

void ConnectionWindow::reloadDownloadedLists(const QString& name, const QStringList& written) {
    // The map, settings and object status lists live in memory and are
    // written back at the end of the program; read the downloaded copies in,
    // so the older ones do not overwrite them. Another adventure opened
    // meanwhile keeps its own.
    if (name != adventure_.name())
        return;
    for (const char* ext : {".map", ".ini", ".obx"})
        if (written.contains(name + QLatin1String(ext)))
            document_.reload(name + QLatin1String(ext));
}

}  // namespace orv
