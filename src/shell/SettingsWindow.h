#pragma once
#include "widgets/ToolWindow.h"

class QRadioButton;

namespace orv {

struct DragState;
struct ScriptSettings;

// JanCnf: the three settings of this run (default script mode, position
// image extension, script write mode). A click sets the value at once; nothing
// is written to any file.
class SettingsWindow : public ToolWindow {
public:
    // The window is the only writer of the settings.
    SettingsWindow(QWidget* parent, ScriptSettings& settings, DragState& drag);

private:
    QRadioButton* addRadio(QWidget* group, const QString& name, const QString& caption, QPoint at,
                           QString ScriptSettings::*setting, const QString& value, bool checked);

    ScriptSettings& settings_;
};

}  // namespace orv
