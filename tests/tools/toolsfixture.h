#pragma once

#include <memory>
#include <vector>

#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include "appfixture.h"
#include "panelhooks.h"
#include "recordpane.h"
#include "toolset.h"

// A control panel that only records where the tools asked the grid to go.
class LocateRecorder : public PanelHooks {
public:
    explicit LocateRecorder(std::vector<std::int64_t>* located) : m_located(located) {}
    bool locatePosition(std::int64_t offset) override {
        m_located->push_back(offset);
        return true;
    }

private:
    std::vector<std::int64_t>* m_located;
};

// The main window with the tool windows plugged in and a recording panel.
class ToolsTest : public AppTest {
protected:
    Tmain& tools() {
        Tmain& w = window();
        if (!m_set) {
            auto set = std::make_unique<ToolSet>(w);
            m_set = set.get();
            w.setTools(std::move(set));
            w.setPanel(std::make_unique<LocateRecorder>(&located));
        }
        return w;
    }
    ToolSet& set() {
        tools();
        return *m_set;
    }
    RecordPane* pane() { return tools().recordPane(); }

    // Opens a data file with these bytes and one segment over all of them.
    QString openData(const QByteArray& bytes, std::vector<SegmentSpec> specs = {}) {
        tools();
        const QString data = dir + QStringLiteral("d.bin");
        writeFile(data, bytes);
        if (specs.empty())
            specs.push_back({"all", 0, 1, static_cast<int>(bytes.size()), {{1, 0, 1, ""}}});
        writeType(data + QStringLiteral(".type"), specs);
        openThroughDialog(data);
        return data;
    }

    template <typename T> T* child(QWidget* parent, const char* name) {
        T* w = parent->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // The cells of a result list, row by row.
    static std::vector<QStringList> rows(QTreeView* view) {
        std::vector<QStringList> out;
        const QAbstractItemModel* m = view->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < m->columnCount(); ++c)
                row << m->index(r, c).data().toString();
            out.push_back(row);
        }
        return out;
    }

    // The colours painted on the find map strip between two x columns on one line.
    QSet<QRgb> mapColours(int y, int x0, int x1) {
        QSet<QRgb> out;
        const QImage& img = pane()->findMapImage();
        for (int x = x0; x < x1 && x < img.width(); ++x)
            out.insert(img.pixel(x, y) & 0xFFFFFF);
        return out;
    }

    std::vector<std::int64_t> located;

private:
    ToolSet* m_set = nullptr;
};
