#pragma once

#include <memory>
#include <vector>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include "appfixture.h"
#include "recordpane.h"
#include "toolset.h"

// The main window with the tool windows plugged in and a recording panel.
class ToolsTest : public AppTest {
protected:
    Tmain& tools() {
        Tmain& w = window();
        if (!m_set) {
            auto set = std::make_unique<ToolSet>(w.toolContext());
            m_set = set.get();
            w.setTools(std::move(set));
            QObject::connect(&w, &Tmain::locateRequested,
                             [this](qint64 offset, bool) { located.push_back(offset); });
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
        const QImage& img = pane()->findMapStrip()->image();
        for (int x = x0; x < x1 && x < img.width(); ++x)
            out.insert(img.pixel(x, y) & 0xFFFFFF);
        return out;
    }

    // A child anywhere in the main window, by name.
    template <typename T> T* child(const char* name) {
        T* c = tools().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QString text(const char* name) {
        if (auto* e = tools().findChild<QLineEdit*>(QString::fromLatin1(name)))
            return e->text();
        auto* l = child<QLabel>(name);
        return l ? l->text() : QString();
    }
    void type(const char* name, const QString& value) {
        if (auto* e = child<QLineEdit>(name))
            e->setText(value);
    }
    // A data file of 4-byte unsigned words, one segment over all of it, opened.
    QString openWords(const QByteArray& bytes, const QString& name = QStringLiteral("d.bin")) {
        tools();
        const QString data = dir + name;
        writeFile(data, bytes);
        writeType(data + QStringLiteral(".type"),
                  {{"S", 0, 4, static_cast<int>(bytes.size()), {{8, 0, 4, "u"}}}});
        openThroughDialog(data);
        return data;
    }

    std::vector<std::int64_t> located;

private:
    ToolSet* m_set = nullptr;
};
