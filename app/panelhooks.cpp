#include "panelhooks.h"

#include <QSettings>

#include "platform.h"

PanelSettings PanelSettings::load() {
    const auto s = platform::openSettings();
    PanelSettings p;
    p.showSegList = s->value(QStringLiteral("showSegList"), true).toBool();
    p.showTypeCtrl = s->value(QStringLiteral("showTypeCtrl"), true).toBool();
    return p;
}

void PanelSettings::save() const {
    const auto s = platform::openSettings();
    s->setValue(QStringLiteral("showSegList"), showSegList ? 1 : 0);
    s->setValue(QStringLiteral("showTypeCtrl"), showTypeCtrl ? 1 : 0);
    s->sync();
}
