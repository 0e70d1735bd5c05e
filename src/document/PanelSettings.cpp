#include "document/PanelSettings.h"

namespace orv {

int PanelSettings::line(PanelArea area, Value value) const {
    const PanelAreaInfo& a = PanelLayout::info(area);
    const int lines[4] = {a.leftLine, a.topLine, a.widthLine, a.heightLine};
    return lines[value];
}

QString PanelSettings::text(PanelArea area, Value value) const {
    require();
    return lines_[line(area, value)];
}

int PanelSettings::number(PanelArea area, Value value) const {
    return PanelLayout::number(lines_, line(area, value));
}

}  // namespace orv
