#include "ObjectWindow.h"
#include "core/ErrorReport.h"

#include "ObjectStore.h"
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
    lbNoObj_ = makeLabel(this, QStringLiteral("lbNoObj"), QString(), {title()->x() + title()->width() + 6, 5},
                         LabelStyle{19, true, true, Qt::black});
    lbNoObj_->resize(300, title()->height());

    noObj_ = new QListWidget(this);
    noObj_->setObjectName(QStringLiteral("NoObj"));
    noObj_->setGeometry(5, 30, 260, 486);
    QFont listFont(QStringLiteral("Arial"));
    listFont.setPixelSize(13);
    noObj_->setFont(listFont);
    connect(noObj_, &QListWidget::itemClicked, this, reported([this] { NoObjClick(); }));

    const LabelStyle header{15, true, true, QColor(0, 0, 128)};
    const LabelStyle nameStyle{15, true, true, QColor(0, 128, 128)};
    const LabelStyle fieldLabel{13, true, false, Qt::black};
    const QString stiNames[5] = {"StiNom", "StiDsc", "StiLoc", "StiShp", "StiTag"};
    const QString atuNames[5] = {"AtuNom", "AtuDsc", "AtuLoc", "AtuShp", "AtuTag"};
    const QString stiCaptions[5] = {"Nome:", "Descrição:", "Local:", "Shape:", "Tag"};
    const QString atuCaptions[5] = {"Nome:", "Descrição:", "Local:", "Shape:", "Tag:"};

    // Initial status above, current status below, each with its picture and
    // its own "gravar" at the right.
    QLabel* label13 = makeLabel(this, QStringLiteral("Label13"), QStringLiteral("Status inicial:"), {275, 32}, header);
    lbNoOb_ = makeLabel(this, QStringLiteral("lbNoOb"), kNoSelection, {label13->x() + label13->width() + 8, 32},
                        nameStyle);
    lbNoOb_->resize(360 - label13->width(), label13->height());
    QLabel* label20 = makeLabel(this, QStringLiteral("Label20"), QStringLiteral("Status atual:"), {275, 212}, header);
    lb15_ = makeLabel(this, QStringLiteral("Lb15"), kNoSelection, {label20->x() + label20->width() + 8, 212},
                      nameStyle);
    lb15_->resize(360 - label20->width(), label20->height());
    for (int i = 0; i < 5; ++i) {
        makeLabel(this, QString(), stiCaptions[i], {275, 60 + 26 * i}, fieldLabel);
        sti_[i] = makeField(this, stiNames[i], QRect(355, 57 + 26 * i, 190, 22));
        makeLabel(this, QString(), atuCaptions[i], {275, 240 + 26 * i}, fieldLabel);
        atu_[i] = makeField(this, atuNames[i], QRect(355, 237 + 26 * i, 190, 22));
    }
    shpIni_ = new PictureBox(this, QStringLiteral("ShpIni"), QRect(558, 57, 80, 80));
    shpIni_->setStretch(true);
    shpAtu_ = new PictureBox(this, QStringLiteral("ShpAtu"), QRect(558, 237, 80, 80));
    shpAtu_->setStretch(true);
    btObz_ = makeBigButton(this, QStringLiteral("btObz"), QStringLiteral("gravar"), {553, 161}, [this] { btObzClick(); });
    btObx_ = makeBigButton(this, QStringLiteral("btObx"), QStringLiteral("gravar"), {553, 341}, [this] { btObxClick(); });

    makeLabel(this, QStringLiteral("Label21"), QStringLiteral("Novo objeto:"), {275, 400}, header);
    lbNewObj_ = makeField(this, QStringLiteral("lbNewObj"), QRect(275, 424, 270, 22));
    btNewObj_ = makeBigButton(this, QStringLiteral("btNewObj"), QStringLiteral("novo obj"), {553, 423},
                              [this] { btNewObjClick(); });

    bnUplObj_ = makeSmallButton(this, QStringLiteral("bnUplObj"), QStringLiteral("Upload"), {5, 538}, [this] { bnUplObjClick(); });
    bnDwnObj_ = makeSmallButton(this, QStringLiteral("bnDwnObj"), QStringLiteral("Down"), {67, 538}, [this] { bnDwnObjClick(); });
    bnUplObj_->hide();
    bnDwnObj_->hide();
    for (PictureBox* b : {btObz_, btObx_, btNewObj_, bnUplObj_, bnDwnObj_})
        DrawSmallButtonUp(b, Qt::black);

    msg4_ = makeStatusLabel(this, QStringLiteral("Msg4"), {135, 541}, 510);

    // An object selected in another adventure is not this adventure's: its
    // fields would be saved over a namesake here, so another adventure
    // starts the window afresh.
    connect(&adventure_, &Adventure::opened, this, [this] {
        clearSelection();
        noObj_->clear();
        if (isVisible())
            refillList();
    });
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
}

void ObjectWindow::showTransferButtons() {
    if (connection_.isReady()) {
        bnUplObj_->show();
        bnDwnObj_->show();
    }
}

void ObjectWindow::opened() {
    refillList();
    // The three big buttons open in the small look; their first press gives
    // them the big one.
    for (PictureBox* b : {btObx_, btObz_, btNewObj_})
        DrawSmallButtonUp(b, Qt::black);
    msg4_->clear();
    showTransferButtons();
}

void ObjectWindow::refillList() {
    // Pointing the list at the folder makes it the working directory too, as
    // for every file list of the program.
    noObj_->clear();
    // Without an adventure there is no folder to show (an empty path would
    // list the working directory).
    if (!adventure_.isOpen())
        return;
    pointFileListAt(adventure_.folder());
    noObj_->addItems(QDir(adventure_.folder()).entryList({QStringLiteral("*.obj")}, QDir::Files,
                                                    QDir::Name | QDir::IgnoreCase));
}

void ObjectWindow::NoObjClick() {
    QListWidgetItem* item = noObj_->currentItem();
    if (!item)
        return;
    msg4_->clear();
    const QString name = ObjectStore::objectNameOf(item->text());
    lbNoOb_->setText(name);
    lb15_->setText(name);
    lbNoObj_->setText(name);
    selected_ = name;
    loadObject(name);
}

void ObjectWindow::loadObject(const QString& name) {
    showStatus(sti_, {QString(), QString(), QString(), QString(), QStringLiteral("-")});
    const ObjectStatus initial = ObjectStore::readInitial(adventure_.folder(), name);
    sti_[0]->setText(initial.nom);
    sti_[1]->setText(initial.dsc);
    sti_[2]->setText(initial.loc);
    sti_[3]->setText(initial.shp);
    showPicture(shpIni_, initial.shp);
    sti_[4]->setText(initial.tag);

    showStatus(atu_, {QString(), QString(), QString(), QString(), QStringLiteral("-")});
    const QList<int> records = ObjectStore::recordsOf(adventure_.currentStatusList(), name);
    // An object without a record shows the default picture rather than the
    // previous object's.
    if (records.isEmpty())
        showPicture(shpAtu_, QString());
    // With several records of one name the last one is shown.
    for (int first : records) {
        const ObjectStatus current = ObjectStore::statusAt(adventure_.currentStatusList(), first);
        atu_[0]->setText(current.nom);
        atu_[1]->setText(current.dsc);
        atu_[2]->setText(current.loc);
        atu_[3]->setText(current.shp);
        showPicture(shpAtu_, current.shp);
        atu_[4]->setText(current.tag);
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
    lbNoOb_->setText(kNoSelection);
    lb15_->setText(kNoSelection);
    lbNoObj_->clear();
    selected_.clear();
    showStatus(sti_, {QString(), QString(), QString(), QString(), QStringLiteral("-")});
    showStatus(atu_, {QString(), QString(), QString(), QString(), QStringLiteral("-")});
    shpIni_->setPicture({});
    shpAtu_->setPicture({});
}

void ObjectWindow::btObzClick() {
    if (selected_.isEmpty()) {
        msg4_->setText(QStringLiteral("Nenhum objeto selecionado!"));
        return;
    }
    ObjectStore::saveInitial(adventure_.folder(), selected_, statusOf(sti_));
    DrawButtonUp(btObz_, Qt::black);
    msg4_->setText(QStringLiteral("Status inicial do objeto gravado!"));
}

void ObjectWindow::btObxClick() {
    if (selected_.isEmpty()) {
        msg4_->setText(QStringLiteral("Nenhum objeto selecionado!"));
        return;
    }
    bool saved = false;
    adventure_.changeCurrentStatus([&](QStringList& list) {
        saved = ObjectStore::saveCurrent(adventure_.folder(), adventure_.name(), list, selected_, statusOf(atu_));
    });
    if (saved) {
        DrawButtonUp(btObx_, Qt::black);
        msg4_->setText(QStringLiteral("Status atual do objeto gravado!"));
    }
}

void ObjectWindow::btNewObjClick() {
    if (!adventure_.isOpen())
        return;
    ObjectStore::CreateOutcome outcome{};
    adventure_.changeCurrentStatus([&](QStringList& list) {
        outcome = ObjectStore::create(adventure_.folder(), adventure_.name(), list, lbNewObj_->text());
    });
    switch (outcome) {
    case ObjectStore::CreateOutcome::Duplicate:
    case ObjectStore::CreateOutcome::ObjectFileExists:
        msg4_->setText(QStringLiteral("Já existe objeto com este nome!"));
        return;
    case ObjectStore::CreateOutcome::ScriptExists:
        msg4_->setText(QStringLiteral("Já existe script com este nome!"));
        return;
    case ObjectStore::CreateOutcome::UnusableName:
        msg4_->setText(QStringLiteral("Nome inválido: use um nome de arquivo sem ponto!"));
        return;
    case ObjectStore::CreateOutcome::Created:
        break;
    }
    msg4_->setText(QStringLiteral("Objeto criado com sucesso!"));
    refillList();
}

ItemTransfer::Context ObjectWindow::transferContext() {
    return {&connection_, adventure_.name(), adventure_.folder(), [this](const QString& text) {
                msg4_->setText(text);
                msg4_->repaint();
            }};
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
