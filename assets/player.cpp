// A stand-in for an adventure's game player, so that "Exec" in the script
// editor shows something on this desktop. It lives in the adventure folder as
// the adventure name + ".exe", shows a window titled with the adventure name
// and of class "TApplication" (what the script editor looks for), and shows
// the script named in "scp.txt" each time it is brought to the front.
#include "core/ListFile.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <exception>

namespace {

class PlayerWindow : public QWidget {
public:
    PlayerWindow(const QString& folder, const QString& adventure, bool startedByEditor)
        : folder_(folder), startedByEditor_(startedByEditor) {
        setWindowTitle(adventure);
        // Beside the editor's tool windows rather than over them.
        setGeometry(20, 360, 460, 420);
        auto* layout = new QVBoxLayout(this);
        heading_ = new QLabel(this);
        heading_->setObjectName(QStringLiteral("Script"));
        QFont bold(QStringLiteral("Arial"), 12, QFont::Bold);
        heading_->setFont(bold);
        text_ = new QPlainTextEdit(this);
        text_->setObjectName(QStringLiteral("Texto"));
        text_->setReadOnly(true);
        text_->setFont(QFont(QStringLiteral("Courier New"), 11));
        layout->addWidget(heading_);
        layout->addWidget(text_);
        // Also follow the hand-off file itself: without a window manager the
        // window is raised but may never be told it became active.
        watcher_.addPath(folder_);
        connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { showHandedScript(); });
        showHandedScript();
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::WindowActivate)
            showHandedScript();
        return QWidget::event(e);
    }

private:
    void showHandedScript() {
        const QString handOff = folder_ + QStringLiteral("scp.txt");
        QStringList lines;
        try {
            lines = orv::ListFile::read(handOff);
        } catch (const std::exception&) {
            // No hand-off yet: the player was only started.
        }
        const QString script = lines.value(0);
        if (lines.isEmpty()) {
            heading_->setText(startedByEditor_ ? QStringLiteral("Jogador iniciado (atv). Aguardando um script...")
                                               : QStringLiteral("Aguardando um script..."));
            text_->clear();
            return;
        }
        heading_->setText(QStringLiteral("%1 - script: %2").arg(windowTitle(), script));
        try {
            text_->setPlainText(orv::ListFile::read(folder_ + script + QStringLiteral(".scp")).join(u'\n'));
        } catch (const std::exception& e) {
            text_->setPlainText(QString::fromUtf8(e.what()));
        }
    }

    QString folder_;
    bool startedByEditor_;
    QLabel* heading_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QFileSystemWatcher watcher_;
};

}  // namespace

int main(int argc, char** argv) {
    // The class part of the window's WM_CLASS comes from the application name.
    QApplication::setApplicationName(QStringLiteral("TApplication"));
    QApplication app(argc, argv);
    const QFileInfo self(QCoreApplication::applicationFilePath());
    const QString folder = self.absolutePath() + QLatin1Char('/');
    PlayerWindow window(folder, self.completeBaseName(), app.arguments().contains(QStringLiteral("atv")));
    window.show();
    return app.exec();
}
