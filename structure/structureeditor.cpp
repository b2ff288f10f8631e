#include "structureeditor.h"

#include <memory>

#include "controlpanel.h"
#include "fieldlist.h"
#include "mainwindow.h"

void installStructureEditor(Tmain& window) {
    auto panel = std::make_unique<Tctrls>(window.document(), *window.recordPane(),
                                          *window.structHint(), &window);
    panel->setFieldList(std::make_unique<FieldList>(*panel));
    window.setPanel(std::move(panel));
}
