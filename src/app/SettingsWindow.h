#pragma once
#include "ToolWindow.h"

class QRadioButton;

namespace orv {

struct ProgramState;

// JanCnf: the three settings of this run (default script mode, position
// image extension, script write mode). A click sets the value at once; nothing
// is written to any file.
class SettingsWindow : public ToolWindow {
public:
    SettingsWindow(QWidget* parent, ProgramState& state);

private:
    QRadioButton* addRadio(QWidget* group, const QString& name, const QString& caption, QPoint at,
                           QString ProgramState::*setting, const QString& value, bool checked);

    ProgramState& state_;
};

}  // namespace orv
