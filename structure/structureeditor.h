#pragma once

class Tmain;

// Docks the control panel in the main window and hands the window its hooks.
void installStructureEditor(Tmain& window);
