#include "ObjectWindow.h"
#include "core/ErrorReport.h"

#include "ObjectStore.h"
#include "widgets/Question.h"
#include "widgets/ButtonArt.h"
#include "widgets/Controls.h"
#include "widgets/PictureBox.h"
#include "core/ListFile.h"
#include "core/Adventure.h"
#include "widgets/DragState.h"
#include "net/Connection.h"
#include "imaging/ImageFiles.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>

namespace orv {

namespace {

const QString kNoSelection = QStringLiteral("...");
const QString kDefaultPicture = QStringLiteral("defobj.gif");

QLineEdit* makeField(QWidget* parent, const QString& name, QRect geometry) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(geometry);
    return edit;
}

ObjectStatus statusOf(QLineEdit* const (&fields)[5]) {
    return {fields[0]->text(), fields[1]->text(), fields[2]->text(), fields[3]->text(), fields[4]->text()};
}

void showStatus(QLineEdit* const (&fields)[5], const ObjectStatus& s) {
    fields[0]->setText(s.nom);
    fields[1]->setText(s.dsc);
    fields[2]->setText(s.loc);
    fields[3]->setText(s.shp);
    fields[4]->setText(s.tag);
}

}  // namespace

ObjectWindow::ObjectWindow(QWidget* parent, Adventure& adventure, Connection& connection, DragState& drag)
    : ToolWindow(parent,
                 {QStringLiteral("JanObj"), QStringLiteral("Objeto:"), QStringLiteral("brObj"), 159,
                  QStringLiteral("btJanObj"), QRect(617, 100, 654, 570)},
                 drag),
      adventure_(adventure), connection_(connection) {
    title()->setObjectName(QStringLiteral("Label12"));
    titleObjectName_ = makeLabel(this, QStringLiteral("lbNoObj"), QString(), {title()->x() + title()->width() + 6, 5},
                                 LabelStyle{19, true, true, Qt::black});
    titleObjectName_->resize(300, title()->height());

    objectList_ = new QListWidget(this);
    objectList_->setObjectName(QStringLiteral("NoObj"));
    objectList_->setGeometry(5, 30, 260, 486);
    QFont listFont(QStringLiteral("Arial"));
    listFont.setPixelSize(13);
    objectList_->setFont(listFont);
    connect(objectList_, &QListWidget::itemClicked, this, reported([this] { NoObjClick(); }));

    const LabelStyle header{15, true, true, QColor(0, 0, 128)};
    const LabelStyle nameStyle{15, true, true, QColor(0, 128, 128)};
    const LabelStyle fieldLabel{13, true, false, Qt::black};
    const QString initialFieldNames[5] = {"StiNom", "StiDsc", "StiLoc", "StiShp", "StiTag"};
    const QString currentFieldNames[5] = {"AtuNom", "AtuDsc", "AtuLoc", "AtuShp", "AtuTag"};
    const QString initialCaptions[5] = {"Nome:", "Descrição:", "Local:", "Shape:", "Tag"};
    const QString currentCaptions[5] = {"Nome:", "Descrição:", "Local:", "Shape:", "Tag:"};

    // Initial status above, current status below, each with its picture and
    // its own "gravar" at the right.
    QLabel* initialHeader =
        makeLabel(this, QStringLiteral("Label13"), QStringLiteral("Status inicial:"), {275, 32}, header);
    initialObjectName_ = makeLabel(this, QStringLiteral("lbNoOb"), kNoSelection,
                                   {initialHeader->x() + initialHeader->width() + 8, 32}, nameStyle);
    initialObjectName_->resize(360 - initialHeader->width(), initialHeader->height());
    QLabel* currentHeader =
        makeLabel(this, QStringLiteral("Label20"), QStringLiteral("Status atual:"), {275, 212}, header);
    currentObjectName_ = makeLabel(this, QStringLiteral("Lb15"), kNoSelection,
                                   {currentHeader->x() + currentHeader->width() + 8, 212}, nameStyle);
    currentObjectName_->resize(360 - currentHeader->width(), currentHeader->height());
    for (int i = 0; i < 5; ++i) {
        makeLabel(this, QString(), initialCaptions[i], {275, 60 + 26 * i}, fieldLabel);
        initialFields_[i] = makeField(this, initialFieldNames[i], QRect(355, 57 + 26 * i, 190, 22));
        makeLabel(this, QString(), currentCaptions[i], {275, 240 + 26 * i}, fieldLabel);
        currentFields_[i] = makeField(this, currentFieldNames[i], QRect(355, 237 + 26 * i, 190, 22));
    }
    initialPicture_ = new PictureBox(this, QStringLiteral("ShpIni"), QRect(558, 57, 80, 80));
    initialPicture_->setStretch(true);
    currentPicture_ = new PictureBox(this, QStringLiteral("ShpAtu"), QRect(558, 237, 80, 80));
    currentPicture_->setStretch(true);
    saveInitialButton_ =
        makeBigButton(this, QStringLiteral("btObz"), QStringLiteral("gravar"), {553, 161}, [this] { btObzClick(); });
    saveCurrentButton_ =
        makeBigButton(this, QStringLiteral("btObx"), QStringLiteral("gravar"), {553, 341}, [this] { btObxClick(); });

    makeLabel(this, QStringLiteral("Label21"), QStringLiteral("Novo objeto:"), {275, 400}, header);
    newObjectName_ = makeField(this, QStringLiteral("lbNewObj"), QRect(275, 424, 270, 22));
    newObjectButton_ = makeBigButton(this, QStringLiteral("btNewObj"), QStringLiteral("novo obj"), {553, 423},
                                     [this] { btNewObjClick(); });

    uploadButton_ = makeSmallButton(this, QStringLiteral("bnUplObj"), QStringLiteral("Upload"), {5, 538},
                                    [this] { bnUplObjClick(); });
    downloadButton_ = makeSmallButton(this, QStringLiteral("bnDwnObj"), QStringLiteral("Down"), {67, 538},
                                      [this] { bnDwnObjClick(); });
    uploadButton_->hide();
    downloadButton_->hide();
    for (PictureBox* b : {saveInitialButton_, saveCurrentButton_, newObjectButton_, uploadButton_, downloadButton_})
        DrawSmallButtonUp(b, Qt::black);

    statusLine_ = makeStatusLabel(this, QStringLiteral("Msg4"), {135, 541}, 510);

    // An object selected in another adventure is not this adventure's: its
    // fields would be saved over a namesake here, so another adventure
    // starts the window afresh.
    connect(&adventure_, &Adventure::opened, this, [this] {
        clearSelection();
        objectList_->clear();
        if (isVisible())
            refillList();
    });
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
}

void ObjectWindow::showTransferButtons() {
    if (connection_.isReady()) {
        uploadButton_->show();
        downloadButton_->show();
    }
}

void ObjectWindow::opened() {
    refillList();
    // The three big buttons open in the small look; their first press gives
    // them the big one.
    for (PictureBox* b : {saveCurrentButton_, saveInitialButton_, newObjectButton_})
        DrawSmallButtonUp(b, Qt::black);
    statusLine_->clear();
    showTransferButtons();
}

void ObjectWindow::refillList() {
    // Pointing the list at the folder makes it the working directory too, as
    // for every file list of the program.
    objectList_->clear();
    // Without an adventure there is no folder to show (an empty path would
    // list the working directory).
    if (!adventure_.isOpen())
        return;
    pointFileListAt(adventure_.folder());
    objectList_->addItems(
        QDir(adventure_.folder()).entryList({QStringLiteral("*.obj")}, QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void ObjectWindow::NoObjClick() {
    QListWidgetItem* item = objectList_->currentItem();
    if (!item)
        return;
    statusLine_->clear();
    const QString name = ObjectStore::objectNameOf(item->text());
    initialObjectName_->setText(name);
    currentObjectName_->setText(name);
    titleObjectName_->setText(name);
    selected_ = name;
    loadObject(name);
}

void ObjectWindow::selectObject(const QString& name) {
    // Its own file first, then any entry that a click would take for it.
    QList<QListWidgetItem*> found =
        objectList_->findItems(name + QStringLiteral(".obj"), Qt::MatchFixedString | Qt::MatchCaseSensitive);
    for (int row = 0; found.isEmpty() && row < objectList_->count(); ++row)
        if (ObjectStore::objectNameOf(objectList_->item(row)->text()) == name)
            found << objectList_->item(row);
    if (!found.isEmpty()) {
        objectList_->setCurrentItem(found.first());
        objectList_->scrollToItem(found.first());
        NoObjClick();
        return;
    }
    // Nothing to load: the selection stays as it was.
    statusLine_->setText(QStringLiteral("O objeto \"%1\" não tem arquivo %1.obj.").arg(name));
}

void ObjectWindow::loadObject(const QString& name) {
    showStatus(initialFields_, {QString(), QString(), QString(), QString(), QStringLiteral("-")});
    const ObjectStatus initial = ObjectStore::readInitial(adventure_.folder(), name);
    initialFields_[0]->setText(initial.nom);
    initialFields_[1]->setText(initial.dsc);
    initialFields_[2]->setText(initial.loc);
    initialFields_[3]->setText(initial.shp);
    showPicture(initialPicture_, initial.shp);
    initialFields_[4]->setText(initial.tag);

    showStatus(currentFields_, {QString(), QString(), QString(), QString(), QStringLiteral("-")});
    const QList<int> records = ObjectStore::recordsOf(adventure_.currentStatusList(), name);
    // An object without a record shows the default picture rather than the
    // previous object's.
    if (records.isEmpty())
        showPicture(currentPicture_, QString());
    // With several records of one name the last one is shown.
    for (int first : records) {
        const ObjectStatus current = ObjectStore::statusAt(adventure_.currentStatusList(), first);
        currentFields_[0]->setText(current.nom);
        currentFields_[1]->setText(current.dsc);
        currentFields_[2]->setText(current.loc);
        currentFields_[3]->setText(current.shp);
        showPicture(currentPicture_, current.shp);
        currentFields_[4]->setText(current.tag);
    }
}

void ObjectWindow::showPicture(PictureBox* picture, const QString& shape) {
    // Start blank: a missing default picture must not leave the previous
    // object's picture standing for this one.
    QImage image(picture->width(), picture->height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    picture->setPicture(image);
    loadImage(adventure_.folder(), kDefaultPicture, image);
    picture->setPicture(image);
    if (!shape.isEmpty()) {
        loadImage(adventure_.folder(), shape, image);
        picture->setPicture(image);
    }
}

void ObjectWindow::clearSelection() {
    initialObjectName_->setText(kNoSelection);
    currentObjectName_->setText(kNoSelection);
    titleObjectName_->clear();
    selected_.clear();
    showStatus(initialFields_, {QString(), QString(), QString(), QString(), QStringLiteral("-")});
    showStatus(currentFields_, {QString(), QString(), QString(), QString(), QStringLiteral("-")});
    initialPicture_->setPicture({});
    currentPicture_->setPicture({});
}

void ObjectWindow::btObzClick() {
    if (connection_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    if (selected_.isEmpty()) {
        statusLine_->setText(QStringLiteral("Nenhum objeto selecionado!"));
        return;
    }
    ObjectStore::saveInitial(adventure_.folder(), selected_, statusOf(initialFields_));
    DrawButtonUp(saveInitialButton_, Qt::black);
    statusLine_->setText(QStringLiteral("Status inicial do objeto gravado!"));
}

void ObjectWindow::btObxClick() {
    if (connection_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    if (selected_.isEmpty()) {
        statusLine_->setText(QStringLiteral("Nenhum objeto selecionado!"));
        return;
    }
    bool saved = false;
    adventure_.changeCurrentStatus([&](QStringList& list) {
        saved =
            ObjectStore::saveCurrent(adventure_.folder(), adventure_.name(), list, selected_, statusOf(currentFields_));
    });
    if (saved) {
        DrawButtonUp(saveCurrentButton_, Qt::black);
        statusLine_->setText(QStringLiteral("Status atual do objeto gravado!"));
    }
}

void ObjectWindow::btNewObjClick() {
    if (!adventure_.isOpen())
        return;
    if (connection_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    ObjectStore::CreateOutcome outcome{};
    adventure_.changeCurrentStatus([&](QStringList& list) {
        outcome = ObjectStore::create(adventure_.folder(), adventure_.name(), list, newObjectName_->text());
    });
    switch (outcome) {
    case ObjectStore::CreateOutcome::Duplicate:
    case ObjectStore::CreateOutcome::ObjectFileExists:
        statusLine_->setText(QStringLiteral("Já existe objeto com este nome!"));
        return;
    case ObjectStore::CreateOutcome::ScriptExists:
        statusLine_->setText(QStringLiteral("Já existe script com este nome!"));
        return;
    case ObjectStore::CreateOutcome::UnusableName:
        statusLine_->setText(QStringLiteral("Nome inválido: use um nome de arquivo sem ponto!"));
        return;
    case ObjectStore::CreateOutcome::Created:
        break;
    }
    statusLine_->setText(QStringLiteral("Objeto criado com sucesso!"));
    refillList();
}

ItemTransfer::Context ObjectWindow::transferContext() {
    return {&connection_, adventure_.name(), adventure_.folder(),
            [this](const QString& text) {
                statusLine_->setText(text);
                statusLine_->repaint();
            },
            [this](const QString& file) { return Question::replaceChangedFile(this, file); }};
}

void ObjectWindow::bnUplObjClick() {
    ItemTransfer::uploadObject(transferContext(), selected_, {});
}

void ObjectWindow::bnDwnObjClick() {
    const QString name = selected_;
    if (!ItemTransfer::downloadObject(transferContext(), name, {}))
        return;
    // The list in memory is written back at exit; reading the fetched one now
    // keeps the older copy from replacing it then.
    if (QFile::exists(adventure_.file(".obx")))
        adventure_.reload(adventure_.name() + QStringLiteral(".obx"));
    loadObject(name);
}

}  // namespace orv
