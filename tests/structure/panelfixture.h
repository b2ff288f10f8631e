#pragma once

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QTreeWidget>

#include "appfixture.h"
#include "controlpanel.h"
#include "fieldlisthooks.h"
#include "structureeditor.h"

// Captions of menu entries, "|" for a separator.
inline QStringList captions(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions)
        out << (a->isSeparator() ? QStringLiteral("|") : a->text());
    return out;
}

// A field list that records what the panel asks of it.
class RecordingFieldList : public FieldListHooks {
public:
    std::vector<vm::Segment*> shown;
    std::vector<ActionState> actionStates;
    void showSegment(vm::Segment* segment, bool) override { shown.push_back(segment); }
    void refreshActions(const ActionState& state) override { actionStates.push_back(state); }
};

// The main window with the control panel installed, as the program has it;
// the field list is a recording one unless realFieldList is set.
class PanelTest : public AppTest {
protected:
    Tctrls& panel() {
        if (!m_panel) {
            installStructureEditor(window());
            m_panel = dynamic_cast<Tctrls*>(window().panel());
            EXPECT_NE(m_panel, nullptr);
            if (realFieldList)
                return *m_panel;
            auto fields = std::make_unique<RecordingFieldList>();
            fieldList = fields.get();
            m_panel->setFieldList(std::move(fields));
        }
        return *m_panel;
    }
    template <typename T = QWidget> T* find(const char* name) {
        T* w = window().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString openWith(const std::vector<SegmentSpec>& specs, const QByteArray& bytes) {
        panel();
        const QString data = dir + QStringLiteral("p.bin");
        writeFile(data, bytes);
        writeType(data + QStringLiteral(".type"), specs, 2);
        openThroughDialog(data);
        return data;
    }
    QTreeWidget* list() { return find<QTreeWidget>("LvPart"); }
    int rowCount() { return list()->topLevelItemCount(); }
    QString cell(int row, int col) { return list()->topLevelItem(row)->text(col); }
    // Row names top to bottom, and the segment list's names: always in step.
    std::vector<std::string> rowNames() {
        std::vector<std::string> out;
        for (int i = 0; i < rowCount(); ++i)
            out.push_back(cell(i, 1).toStdString());
        return out;
    }
    void selectRow(int row) { list()->setCurrentItem(list()->topLevelItem(row)); }
    void setText(const char* editor, const QString& text) {
        find<QLineEdit>(editor)->setText(text);
    }
    QString text(const char* editor) { return find<QLineEdit>(editor)->text(); }
    vm::Segment& seg(int i) { return doc().segments()[static_cast<std::size_t>(i)]; }

    RecordingFieldList* fieldList = nullptr;
    bool realFieldList = false;

private:
    Tctrls* m_panel = nullptr;
};
