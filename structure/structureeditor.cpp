#include "structureeditor.h"

#include <memory>

#include "controlpanel.h"
#include "mainwindow.h"

void installStructureEditor(Tmain& window) {
    window.setPanel(std::make_unique<Tctrls>(window));
}
