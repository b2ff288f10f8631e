#include "structureeditor.h"

#include "mainwindow.h"

void installStructureEditor(Tmain& window) {
    // The control panel is not written yet: the window keeps its placeholder.
    (void)window;
}
