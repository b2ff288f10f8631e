#pragma once

#include <memory>
#include <vector>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

#include "document.h"
#include "documentfiles.h"
#include "mainwindow.h"
#include "model.h"
#include "platform.h"
#include "scriptedprompter.h"
#include "typefile.h"

// Records what the program would have opened in the browser or started.
class RecordingDesktop : public platform::Desktop {
public:
    std::vector<QUrl> urls;
    std::vector<QStringList> started;
    bool noBrowser = false; // openUrl fails, as on a system without a browser
    bool openUrl(const QUrl& url) override {
        urls.push_back(url);
        return !noBrowser;
    }
    bool startDetached(const QString& program, const QStringList& arguments) override {
        started.push_back(QStringList{program} + arguments);
        return true;
    }
};

// Bytes 0, 1, 2, ... (wrapping at 256): every offset tells where it came from.
inline QByteArray countingBytes(int n) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>(i);
    return b;
}

// A field description for building type files in tests.
struct FieldSpec {
    int kind;
    int start;
    int length;
    const char* memo;
};
struct SegmentSpec {
    const char* name;
    int begin;
    int recordLength;
    int length;
    std::vector<FieldSpec> fields;
    bool anomaly = false;
    bool toFilesEnd = false;
};

// 100 bytes fully described, so "Can Edit Structure" asks nothing: Head
// [0, 8), Recs five records of 8 at 8, Tail 13 records of 4 at 48.
inline const std::vector<SegmentSpec> kRecordsExample = {
    {"Head", 0, 8, 8, {{7, 0, 4, "h0"}, {7, 4, 4, "h1"}}},
    {"Recs", 8, 8, 40, {{7, 0, 4, "a"}, {5, 4, 2, "b"}, {6, 6, 2, "c"}}},
    {"Tail", 48, 4, 52, {{7, 0, 4, "t"}}}};

// Each test gets its own folder with an installation folder (InstallPath),
// a temporary folder for working copies and its own settings file.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_tmp.isValid());
        dir = m_tmp.path() + QStringLiteral("/");
        installDir = dir + QStringLiteral("install/");
        tempDir = dir + QStringLiteral("temp/");
        QDir().mkpath(installDir);
        QDir().mkpath(tempDir);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           dir + QStringLiteral("config"));
        {
            auto s = platform::openSettings();
            s->setValue(QStringLiteral("InstallPath"), installDir);
        }
        setPrompter(&prompts);
        platform::setDesktop(&desktop);
    }

    void TearDown() override {
        win.reset();
        setPrompter(nullptr);
        platform::setDesktop(nullptr);
    }

    Tmain& window() {
        if (!win) {
            win = std::make_unique<Tmain>();
            win->document().setTempDir(tempDir);
            win->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(win.get()));
        }
        return *win;
    }
    Document& doc() { return window().document(); }
    // The title as the desktop shows it: "[*]" turned into the mark of
    // unsaved changes, or into nothing.
    QString shownTitle() { return window().windowHandle()->title(); }
    DocumentFiles& files() { return window().files(); }
    QAction* act(const char* name) { return window().action(QString::fromLatin1(name)); }
    void trigger(const char* name) {
        QAction* a = act(name);
        ASSERT_NE(a, nullptr) << name;
        a->trigger();
    }
    // Opens a file through "Open File..." and waits for its working copy.
    void openThroughDialog(const QString& path) {
        prompts.fileNames.push_back(path);
        trigger("AopenFile");
        waitForWorkingCopy();
    }
    void waitForWorkingCopy() {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !doc().copying(); }));
    }

    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    static QByteArray readFile(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }
    static QByteArray streamBytes(const vm::FileStream* s) {
        if (!s)
            return {};
        QByteArray out(static_cast<int>(s->size()), '\0');
        s->readAt(
            0, {reinterpret_cast<std::uint8_t*>(out.data()), static_cast<std::size_t>(out.size())});
        return out;
    }

    static void writeType(const QString& path, const std::vector<SegmentSpec>& specs,
                          std::uint8_t positionFormat = 1, bool canEditData = true) {
        vm::SegmentList list;
        for (const auto& sp : specs) {
            auto seg = std::make_unique<vm::Segment>();
            seg->setName(sp.name);
            seg->begin = sp.begin;
            seg->recordLength = sp.recordLength;
            seg->length = sp.length;
            seg->anomaly = sp.anomaly;
            seg->toFilesEnd = sp.toFilesEnd;
            seg->anomalyColumnWidths = {80, 80, 50, 50, 80};
            for (const auto& f : sp.fields) {
                vm::TypeEntry e = vm::newTypeEntry(f.kind, std::string_view(f.memo), seg.get());
                e.start = static_cast<std::uint16_t>(f.start);
                e.length = static_cast<std::uint16_t>(f.length);
                seg->entries.push_back(e);
            }
            list.append(std::move(seg));
        }
        vm::ViewSettings v;
        v.setCanEditData(canEditData);
        v.setShowIndexNum(true);
        v.setPositionFormat(positionFormat);
        vm::DataHintFlags hints{};
        hints.fill(true);
        ASSERT_TRUE(vm::writeTypeFile(list, v, hints, toNative(path)).ok);
    }

    std::vector<std::string> segmentNames() {
        std::vector<std::string> names;
        for (const auto& s : doc().segments())
            names.push_back(s->name);
        return names;
    }

    QString dir;
    QString installDir;
    QString tempDir;
    ScriptedPrompter prompts;
    RecordingDesktop desktop;
    std::unique_ptr<Tmain> win;

private:
    QTemporaryDir m_tmp;
};
