#include "fileinfowindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "document.h"
#include "fileinfo.h"
#include "prompter.h"

namespace {

QLineEdit* box(const QString& name) {
    auto* e = new QLineEdit;
    e->setObjectName(name);
    e->setReadOnly(true);
    e->setMinimumWidth(240);
    return e;
}

QCheckBox* attribute(const char* text, const char* name) {
    auto* c = new QCheckBox(QString::fromLatin1(text));
    c->setObjectName(QString::fromLatin1(name));
    c->setEnabled(false);
    return c;
}

QLabel* heading(const char* text) {
    auto* l = new QLabel(QString::fromLatin1(text));
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

} // namespace

TFileInfo::TFileInfo(const Document& doc, QWidget* parent) : QDialog(parent), m_doc(doc) {
    setObjectName(QStringLiteral("TFileInfo"));
    setWindowTitle(QStringLiteral("File Information"));
    setModal(true);

    auto* grid = new QGridLayout;
    grid->addWidget(heading("File Info"), 0, 1);
    grid->addWidget(heading("Type File Info"), 0, 2);
    const char* labels[] = {"File Name:", "File Size(bytes):", "Create Time",
                            "Last Write Time:", "Last Access Time:"};
    const char* names[] = {"EfileName", "EfileSize", "EcreateTime", "EfixTime", "ElastVis"};
    QLineEdit** data[] = {&m_data.name, &m_data.size, &m_data.created, &m_data.modified,
                          &m_data.accessed};
    QLineEdit** type[] = {&m_type.name, &m_type.size, &m_type.created, &m_type.modified,
                          &m_type.accessed};
    for (int row = 0; row < 5; ++row) {
        const QString name = QString::fromLatin1(names[row]);
        *data[row] = box(name);
        *type[row] = box(name + QLatin1Char('1'));
        grid->addWidget(new QLabel(QString::fromLatin1(labels[row])), row + 1, 0);
        grid->addWidget(*data[row], row + 1, 1);
        grid->addWidget(*type[row], row + 1, 2);
    }
    m_readOnly = attribute("ReadOnly", "CReadOnly");
    m_hidden = attribute("Hidden", "Chidden");
    m_archive = attribute("Archive", "CArchive");
    m_system = attribute("System", "CSystem");
    auto* boxes = new QGridLayout;
    boxes->addWidget(m_readOnly, 0, 0);
    boxes->addWidget(m_hidden, 0, 1);
    boxes->addWidget(m_archive, 1, 0);
    boxes->addWidget(m_system, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Attributes:")), 6, 0, Qt::AlignTop);
    grid->addLayout(boxes, 6, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TFileInfo::fill(const QString& dataFile, const QString& typeFile) {
    if (!dataFile.isEmpty() && !fillColumn(m_data, dataFile, true))
        return false;
    if (!typeFile.isEmpty() && !fillColumn(m_type, typeFile, false))
        return false;
    return true;
}

bool TFileInfo::fillColumn(const Column& column, const QString& path, bool attributes) {
    const vm::FileFactsResult r = vm::readFileFacts(toNative(path));
    if (!r.ok) {
        prompter().error(parentWidget(), fromNative(r.error));
        return false;
    }
    const vm::FileInfoTexts t = vm::fileInfoTexts(toNative(path), r.facts, m_doc.locale());
    column.name->setText(path);
    column.name->setToolTip(path);
    column.size->setText(QString::fromStdString(t.size));
    column.created->setText(QString::fromStdString(t.created));
    column.created->setToolTip(
        r.facts.createdIsStatusChange
            ? QStringLiteral("The file system keeps no creation time: this is the time of the "
                             "last status change.")
            : QString());
    column.modified->setText(QString::fromStdString(t.modified));
    column.accessed->setText(QString::fromStdString(t.accessed));
    if (attributes) {
        m_readOnly->setChecked(r.facts.readOnly);
        m_hidden->setChecked(r.facts.hidden);
        m_archive->setChecked(r.facts.archive);
        m_system->setChecked(r.facts.system);
    }
    return true;
}
