#pragma once

#include <QString>

class QComboBox;

// A kind's name as the windows' lists and grids show it.
QString kindText(int kind);
// A kind list: the 16 names in code order, all shown at once when it drops down.
void addKindNames(QComboBox* box);
