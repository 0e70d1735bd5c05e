#include "shell/SettingsWindow.h"
#include "core/ErrorReport.h"

#include "core/Adventure.h"
#include "widgets/DragState.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>

namespace orv {

namespace {

QGroupBox* makeGroup(QWidget* parent, const QString& name, const QString& title, QRect geometry) {
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(name);
    group->setGeometry(geometry);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(16);
    font.setBold(true);
    group->setFont(font);
    group->setStyleSheet(QStringLiteral(
        "QGroupBox { color: grey; border: 1px solid rgb(160,160,160); margin-top: 9px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0px; }"));
    return group;
}

}  // namespace

SettingsWindow::SettingsWindow(QWidget* parent, ScriptSettings& settings, DragState& drag)
    : ToolWindow(parent,
                 {QStringLiteral("JanCnf"), QStringLiteral("Configurações:"), QStringLiteral("brCnf"), 159,
                  QStringLiteral("fmCnf"), QRect(860, 95, 421, 296)},
                 drag),
      settings_(settings) {
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("ScrollBox1"));
    scroll->setGeometry(5, 30, 411, 261);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setStyleSheet(QStringLiteral(
        "QScrollArea, QScrollArea > QWidget > QWidget { background: rgb(224,224,224); }"
        "QScrollBar:vertical { width: 10px; } QScrollBar:horizontal { height: 10px; }"));
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("ScrollBox1Conteudo"));
    content->resize(395, 303);
    content->setMinimumSize(395, 303);

    auto* scriptModeGroup = makeGroup(content, QStringLiteral("GroupBox1"),
                                      QStringLiteral(" Modo default pra os scripts "), QRect(2, 4, 390, 71));
    auto* extensionGroup = makeGroup(content, QStringLiteral("GroupBox2"),
                                     QStringLiteral(" Extensão da imagem da posição "), QRect(2, 82, 390, 71));
    auto* writeModeGroup = makeGroup(content, QStringLiteral("GroupBox3"),
                                     QStringLiteral(" Gravação dos scripts na compilação "), QRect(2, 160, 390, 123));

    const auto& s = settings_;
    addRadio(scriptModeGroup, QStringLiteral("RbMd0"), QStringLiteral("modo 0"), {12, 32},
             &ScriptSettings::defaultScriptMode, QStringLiteral("0"), s.defaultScriptMode == QLatin1String("0"));
    addRadio(scriptModeGroup, QStringLiteral("RbMd1"), QStringLiteral("modo 1"), {137, 32},
             &ScriptSettings::defaultScriptMode, QStringLiteral("1"), s.defaultScriptMode == QLatin1String("1"));
    addRadio(scriptModeGroup, QStringLiteral("RbMd2"), QStringLiteral("modo 2"), {262, 32},
             &ScriptSettings::defaultScriptMode, QStringLiteral("2"), s.defaultScriptMode == QLatin1String("2"));
    addRadio(extensionGroup, QStringLiteral("RbPNG"), QStringLiteral("png"), {12, 32}, &ScriptSettings::imageExtension,
             QStringLiteral("png"), s.imageExtension == QLatin1String("png"));
    addRadio(extensionGroup, QStringLiteral("RbJPG"), QStringLiteral("jpg"), {137, 32}, &ScriptSettings::imageExtension,
             QStringLiteral("jpg"), s.imageExtension == QLatin1String("jpg"));
    addRadio(extensionGroup, QStringLiteral("RbGIF"), QStringLiteral("gif"), {262, 32}, &ScriptSettings::imageExtension,
             QStringLiteral("gif"), s.imageExtension == QLatin1String("gif"));
    addRadio(writeModeGroup, QStringLiteral("RbOp1"), QStringLiteral("Sobrepõe o script que já existe"), {12, 28},
             &ScriptSettings::scriptWriteMode, QStringLiteral("1"), s.scriptWriteMode == QLatin1String("1"));
    addRadio(writeModeGroup, QStringLiteral("RbOp2"), QStringLiteral("Cria script apenas se não existir"), {12, 58},
             &ScriptSettings::scriptWriteMode, QStringLiteral("2"), s.scriptWriteMode == QLatin1String("2"));
    addRadio(writeModeGroup, QStringLiteral("RbOp3"), QStringLiteral("Insere no início do script (se existir)"),
             {12, 88}, &ScriptSettings::scriptWriteMode, QStringLiteral("3"), s.scriptWriteMode == QLatin1String("3"));

    scroll->setWidget(content);
    scroll->setWidgetResizable(false);
}

QRadioButton* SettingsWindow::addRadio(QWidget* group, const QString& name, const QString& caption, QPoint at,
                                       QString ScriptSettings::*setting, const QString& value, bool checked) {
    auto* radio = new QRadioButton(caption, group);
    radio->setObjectName(name);
    radio->setStyleSheet(QStringLiteral("QRadioButton { color: black; }"));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(16);
    font.setBold(true);
    radio->setFont(font);
    radio->move(at);
    radio->adjustSize();
    radio->setChecked(checked);
    connect(radio, &QRadioButton::clicked, this, reported([this, setting, value] { settings_.*setting = value; }));
    return radio;
}

}  // namespace orv
