#include "kindnames.h"

#include <QComboBox>

#include "kinds.h"

QString kindText(int kind) {
    const std::string_view n = vm::kindName(kind);
    return QString::fromLatin1(n.data(), static_cast<int>(n.size()));
}

void addKindNames(QComboBox* box) {
    box->setMaxVisibleItems(vm::kKindCount);
    for (int k = 0; k < vm::kKindCount; ++k)
        box->addItem(kindText(k));
}
