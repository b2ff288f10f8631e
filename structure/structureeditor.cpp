#include "structureeditor.h"

#include <memory>

#include "controlpanel.h"
#include "fieldlist.h"
#include "mainwindow.h"

void installStructureEditor(Tmain& window) {
    auto panel = std::make_unique<Tctrls>(window);
    Tctrls& p = *panel;
    window.setPanel(std::move(panel));
    p.setFieldList(std::make_unique<FieldList>(p));
}
