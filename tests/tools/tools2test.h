#pragma once

#include <QLabel>
#include <QLineEdit>

#include "appfixture.h"
#include "toolset.h"

// The main window with the tool windows plugged in, as the program runs it.
class ToolsTest : public AppTest {
protected:
    Tmain& main() {
        Tmain& w = window();
        if (!m_installed) {
            w.setTools(std::make_unique<ToolSet>(w));
            m_installed = true;
        }
        return w;
    }
    template <typename T> T* child(const char* name) {
        T* c = main().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QString text(const char* name) {
        if (auto* e = main().findChild<QLineEdit*>(QString::fromLatin1(name)))
            return e->text();
        auto* l = child<QLabel>(name);
        return l ? l->text() : QString();
    }
    void type(const char* name, const QString& value) {
        if (auto* e = child<QLineEdit>(name))
            e->setText(value);
    }
    // A data file with a one-segment structure beside it, opened.
    QString openData(const QByteArray& bytes, const QString& name = QStringLiteral("d.bin")) {
        const QString data = dir + name;
        writeFile(data, bytes);
        writeType(data + QStringLiteral(".type"),
                  {{"S", 0, 4, static_cast<int>(bytes.size()), {{8, 0, 4, "u"}}}});
        main();
        openThroughDialog(data);
        return data;
    }

private:
    bool m_installed = false;
};
