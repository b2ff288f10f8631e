#include <QApplication>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QTableView>

#include "aboutbox.h"
#include "appfixture.h"
#include "editstructhint.h"
#include "icons.h"
#include "recordpane.h"

namespace {

class MainWindowTest : public AppTest {
protected:
    QString openWith(const std::vector<SegmentSpec>& specs,
                     const QByteArray& bytes = QByteArray(64, '\1'),
                     std::uint8_t positionFormat = 1) {
        const QString data = dir + QStringLiteral("m.bin");
        writeFile(data, bytes);
        writeType(data + QStringLiteral(".type"), specs, positionFormat);
        openThroughDialog(data);
        return data;
    }
};

TEST_F(MainWindowTest, EveryActionHasItsCaptionHintShortcutAndImage) {
    struct Row {
        const char* name;
        const char* caption;
        const char* hint;
        QKeySequence shortcut;
        int image;
    };
    const QKeySequence none;
    const Row rows[] = {
        {"AopenFile", "Open File...", "Open File...", QKeySequence(QStringLiteral("Ctrl+O")), 0},
        {"AnewFile", "New File...", "New File", QKeySequence(QStringLiteral("Ctrl+N")), 7},
        {"AsaveData", "Save File", "Save File", none, 1},
        {"AsaveAs", "Save As...", "Save As...", none, -1},
        {"AopenType", "Open Type File...", "Use Other Type File", none, -1},
        {"useDefaultType", "Use Default Type File", "Use Default Type File", none, -1},
        {"AsaveType", "Save Type File", "Save Type File", none, 16},
        {"AsaveTypeAs", "Save type as...", "Save type as...", none, -1},
        {"AsaveAll", "Save All", "Save All", QKeySequence(QStringLiteral("Ctrl+S")), 17},
        {"AcloseAll", "Close All", "Close All", QKeySequence(QStringLiteral("Ctrl+W")), -1},
        {"Aexit", "Exit", "Exit This Program", QKeySequence(QStringLiteral("Ctrl+Q")), -1},
        {"ShowCtrl", "Show Main Control", "Show Main Control", none, 9},
        {"ShowHint", "Show Hint Window", "Show Hint Window", QKeySequence(QStringLiteral("Ctrl+H")),
         10},
        {"showFind", "Show Find Window", "Show Find Window", QKeySequence(QStringLiteral("Ctrl+F")),
         2},
        {"showComp", "Show Comp Window", "Compare with Another File ", none, 3},
        {"AisShowNum", "Show Index Num", "Show Index Num", none, 11},
        {"AisHex", "Show Position in Hex", "Show Position in Hex", none, 12},
        {"AisNum", "Show Position in Num", "Show Position in Num", none, 13},
        {"AoutPut", "OutPut To Txt File", "OutPut To Txt File", none, 8},
        {"AadjustColWideth", "Adjust All Column Width", "Adjust All Column Width", none, -1},
        {"AautoIndex", "ReArrange List", "ReArrange List", none, -1},
        {"AgotoOffSet", "Goto OffSet", "Goto OffSet", QKeySequence(QStringLiteral("Ctrl+G")), 14},
        {"AReplacedefaulttype", "Replace Default Type", "Replace Default Type", none, -1},
        {"AsortTypeList", "Sort Type List", "Sort Type List", none, 21},
        {"AsortAll", "Sort All Type List", "Sort All Type List", none, 22},
        {"AfileInfo", "File Information...", "File Information...", none, 18},
        {"AsplitFile", "SplitFile...", "Split File...", none, -1},
        {"ACutBlank", "Cut Blank", "", none, 20},
        {"AcanEdit", "Can Edit Data", "Can Edit Data", none, 6},
        {"AcanResetType", "Can Reset Structure", "Can Reset Structure", none, 5},
        {"AcanEditType", "Can Edit Structure", "Can Edit Structure", none, 19},
        {"AaddRecord", "Add Record", "Add Record", none, -1},
        {"AdelRecord", "Delete Record", "Delete Record", none, -1},
        {"Ahelp", "Help Contents", "Help Contents", QKeySequence(Qt::Key_F1), -1},
    };
    for (const Row& r : rows) {
        QAction* a = window().findChild<QAction*>(QString::fromLatin1(r.name));
        ASSERT_NE(a, nullptr) << r.name;
        EXPECT_EQ(a->text(), QString::fromLatin1(r.caption)) << r.name;
        if (*r.hint) {
            EXPECT_EQ(a->toolTip(), QString::fromLatin1(r.hint)) << r.name;
        }
        EXPECT_EQ(a->shortcut(), r.shortcut) << r.name;
        EXPECT_EQ(a->property("imageIndex").toInt(), r.image) << r.name;
        EXPECT_EQ(a->icon().isNull(), r.image < 0) << r.name;
    }
    // Every picture of the image list is there and draws.
    for (int i = 0; i < icons::kImageCount; ++i) {
        const QImage img = icons::image(i).pixmap(24, 24).toImage();
        ASSERT_FALSE(img.isNull()) << i;
        int opaque = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                opaque += qAlpha(img.pixel(x, y)) > 0;
        EXPECT_GT(opaque, 40) << "image " << i;
    }
}

TEST_F(MainWindowTest, ToolBarAndMenusFollowTheLayout) {
    QStringList bar;
    for (QAction* a : window().toolBar()->actions())
        bar << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
    EXPECT_EQ(bar.join(' '),
              QStringLiteral(
                  "AopenFile AnewFile AsaveAll AsaveData AsaveType AoutPut | Aundo Aredo | "
                  "ShowCtrl ShowHint "
                  "showFind showComp | AgotoOffSet AfileInfo | AisShowNum | AisHex AisNum | "
                  "AcanEdit AcanResetType AcanEditType | AhelpButton |"));
    QStringList tops;
    for (QAction* a : window().menuBar()->actions())
        tops << a->text();
    EXPECT_EQ(tops, (QStringList{"File ", "Edit ", "View ", "Tools ", "Options ", "Help "}));
    QStringList file;
    for (QAction* a : window().fileMenu()->actions())
        file << (a->isSeparator() ? QStringLiteral("|") : a->text());
    EXPECT_EQ(file.join(QStringLiteral(";")),
              QStringLiteral(
                  "Open File...;New File...;Open File in New Wndow;Save File;Save As...;|;"
                  "Open Type File...;Use Default Type File;Save Type File;Save type as...;"
                   "Export Structure As;|;"
                  "Save All;Close All;Make Working Copy;|;Recent Files;Recent Type Files;|;Exit"));
    EXPECT_EQ(act("Aexit")->toolTip(), QStringLiteral("Exit This Program"));
    // The control panel's place in the left dock site.
    auto* dock = window().findChild<QDockWidget*>(QStringLiteral("Tctrls"));
    ASSERT_NE(dock, nullptr);
    EXPECT_EQ(window().dockWidgetArea(dock), Qt::LeftDockWidgetArea);
    EXPECT_TRUE(dock->isVisible());
    trigger("ShowCtrl");
    EXPECT_FALSE(dock->isVisible());
    trigger("ShowCtrl");
    EXPECT_TRUE(dock->isVisible());
    EXPECT_GE(dock->width(), 10);
}

TEST_F(MainWindowTest, ADroppedFileOpensAndATypeFileOpensItsDataFile) {
    const QString data = dir + QStringLiteral("drop.bin");
    writeFile(data, QByteArray(32, '\2'));
    writeType(data + QStringLiteral(".type"), {{"Dropped", 0, 4, 32, {{1, 0, 1, "b"}}}});
    // Entered and dropped as a file manager does; true when the window took it.
    const auto drop = [this](const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint at = window().rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window(), &dropped);
        return dropped.isAccepted();
    };
    EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.org/d.bin"))}));
    // One document at a time: the first file counts; its type file opens its data file.
    ASSERT_TRUE(drop({QUrl::fromLocalFile(data + QStringLiteral(".type")),
                      QUrl::fromLocalFile(dir + QStringLiteral("other.bin"))}));
    ASSERT_TRUE(QTest::qWaitFor([this] { return doc().isOpen(); }));
    waitForWorkingCopy();
    EXPECT_EQ(doc().dataFileName(), data);
    EXPECT_EQ(doc().typeFileName(), data + QStringLiteral(".type"));
    EXPECT_EQ(segmentNames(), std::vector<std::string>{"Dropped"});
    EXPECT_TRUE(prompts.records.empty());
}

TEST_F(MainWindowTest, ActionsFollowTheDocumentAndTheOptions) {
    const QStringList always = {"AopenFile", "AnewFile", "AnewWindow", "AsplitFile",
                                "ShowCtrl",  "Ahelp",    "Aexit"};
    const QStringList document = {
        "AopenType",      "AautoIndex",    "AadjustColWideth", "AoutPut",
        "useDefaultType", "AsaveTypeAs",   "showFind",         "ShowHint",
        "AcanEdit",       "AcanResetType", "AcanEditType",     "AReplacedefaulttype",
        "showComp",       "AisHex",        "AisNum",           "AisShowNum",
        "AgotoOffSet",    "AsortTypeList", "AsortAll",         "AcloseAll",
        "AsaveAs",        "AfileInfo"};
    for (const QString& n : always)
        EXPECT_TRUE(window().action(n)->isEnabled()) << n.toStdString();
    for (const QString& n :
         document + QStringList{"AsaveData", "AsaveType", "AsaveAll", "ACutBlank"})
        EXPECT_FALSE(window().action(n)->isEnabled()) << n.toStdString();
    // "Can Edit Data" with no document stays off.
    trigger("AcanEdit");
    EXPECT_FALSE(act("AcanEdit")->isChecked());

    openWith({{"S", 0, 4, 64, {{7, 0, 4, "v"}}}});
    for (const QString& n : document)
        EXPECT_TRUE(window().action(n)->isEnabled()) << n.toStdString();
    EXPECT_FALSE(act("AsaveData")->isEnabled());
    EXPECT_FALSE(act("AsaveType")->isEnabled());
    EXPECT_FALSE(act("ACutBlank")->isEnabled());

    EXPECT_FALSE(shownTitle().startsWith(QLatin1Char('*')));
    doc().setTypeChanged(true);
    EXPECT_TRUE(act("AsaveType")->isEnabled());
    EXPECT_TRUE(act("AsaveAll")->isEnabled());
    EXPECT_FALSE(act("AsaveData")->isEnabled());
    // The desktop's mark of unsaved changes, for the structure as for the data.
    EXPECT_TRUE(shownTitle().startsWith(QStringLiteral("*Vellomarque-")))
        << shownTitle().toStdString();
    doc().setTypeChanged(false);
    doc().setDataChanged(true);
    EXPECT_TRUE(shownTitle().startsWith(QStringLiteral("*Vellomarque-")));
    doc().setDataChanged(false);
    doc().setTypeChanged(true);

    // Reset and Edit Structure exclude each other; editing turns the sorts off
    // and Cut Blank on.
    trigger("AcanResetType");
    EXPECT_TRUE(act("AcanResetType")->isChecked());
    trigger("AcanEditType");
    EXPECT_TRUE(act("AcanEditType")->isChecked());
    EXPECT_TRUE(doc().viewSettings().canEditStructure());
    EXPECT_FALSE(act("AcanResetType")->isChecked());
    EXPECT_FALSE(doc().viewSettings().canResetStructure());
    EXPECT_FALSE(act("AsortTypeList")->isEnabled());
    EXPECT_FALSE(act("AsortAll")->isEnabled());
    EXPECT_TRUE(act("ACutBlank")->isEnabled());
    trigger("AcanResetType");
    EXPECT_TRUE(act("AcanResetType")->isChecked());
    EXPECT_FALSE(act("AcanEditType")->isChecked());
    EXPECT_FALSE(doc().viewSettings().canEditStructure());
    EXPECT_TRUE(act("AsortAll")->isEnabled());
    EXPECT_FALSE(act("ACutBlank")->isEnabled());
}

TEST_F(MainWindowTest, IndexViewOptionsSwitchTheSettingsAndTheGrid) {
    openWith({{"S", 0, 4, 64, {{7, 0, 4, "v"}}}}, QByteArray(64, '\1'), 2);
    EXPECT_TRUE(act("AisNum")->isChecked());
    EXPECT_FALSE(act("AisHex")->isChecked());
    // Choosing the checked "Show Position in Num" switches to hexadecimal.
    trigger("AisNum");
    EXPECT_TRUE(act("AisHex")->isChecked());
    EXPECT_FALSE(act("AisNum")->isChecked());
    EXPECT_EQ(doc().viewSettings().positionFormat(), 1);
    trigger("AisHex");
    EXPECT_TRUE(act("AisNum")->isChecked());
    EXPECT_EQ(doc().viewSettings().positionFormat(), 2);
    EXPECT_TRUE(act("AisShowNum")->isChecked());
    trigger("AisShowNum");
    EXPECT_FALSE(doc().viewSettings().showIndexNum());
    // View options are saved with the structure but do not mark it changed.
    EXPECT_FALSE(doc().typeChanged());
}

TEST_F(MainWindowTest, CanEditStructureIsRefusedOnErrors) {
    // Two segments sharing bytes: an overlap error.
    openWith({{"A", 0, 4, 32, {{7, 0, 4, "a"}}}, {"B", 16, 4, 32, {{7, 0, 4, "b"}}}});
    QString explanation;
    int segRows = 0;
    prompts.modals.push_back([&](QDialog& d) {
        auto& hint = static_cast<TeditStructHint&>(d);
        explanation = hint.explanation();
        segRows = hint.segRowCount();
        return int(QDialog::Accepted);
    });
    trigger("AcanEditType");
    ASSERT_EQ(prompts.records.back().kind, ScriptedPrompter::Kind::Modal);
    EXPECT_EQ(prompts.records.back().title, QStringLiteral("Struct Set Error (Warnning)"));
    EXPECT_EQ(
        explanation,
        QStringLiteral("Has any error in structure setting, please fix the error then try again."));
    EXPECT_GT(segRows, 0);
    EXPECT_TRUE(window().structHint()->segListHasError());
    // Even Ok does not switch it on.
    EXPECT_FALSE(doc().viewSettings().canEditStructure());
    EXPECT_FALSE(act("AcanEditType")->isChecked());
}

TEST_F(MainWindowTest, CanEditStructureAsksAboutWarnings) {
    // A gap between two fields of a record: warnings only, listed under the
    // segment's summary row.
    openWith({{"G", 0, 8, 64, {{7, 0, 2, "a"}, {1, 4, 1, "b"}}}});
    QString explanation;
    int typeRows = -1;
    prompts.modals.push_back([&](QDialog& d) {
        auto& hint = static_cast<TeditStructHint&>(d);
        explanation = hint.explanation();
        QTableView* seg = hint.segList();
        for (int i = 0; i < seg->model()->rowCount(); ++i)
            if (seg->model()->index(i, 3).data() == QStringLiteral("Click To Expend"))
                seg->selectRow(i);
        typeRows = hint.typeRowCount();
        return int(QDialog::Rejected);
    });
    trigger("AcanEditType");
    EXPECT_EQ(explanation,
              QStringLiteral("Has any warnning in structure setting, You can click \"OK\" to "
                             "continue or click \"cancel\" to cancel this."));
    EXPECT_GT(typeRows, 0);
    EXPECT_FALSE(window().structHint()->segListHasError());
    EXPECT_FALSE(doc().viewSettings().canEditStructure());
    EXPECT_FALSE(act("AcanEditType")->isChecked());

    prompts.modals.push_back([](QDialog&) { return int(QDialog::Accepted); });
    trigger("AcanEditType");
    EXPECT_TRUE(doc().viewSettings().canEditStructure());
    EXPECT_TRUE(act("AcanEditType")->isChecked());
    // Switching it off asks nothing.
    const auto before = prompts.records.size();
    trigger("AcanEditType");
    EXPECT_FALSE(doc().viewSettings().canEditStructure());
    EXPECT_EQ(prompts.records.size(), before);
}

TEST_F(MainWindowTest, CutBlankRefusesErrorsAndCutsAfterYes) {
    QByteArray bytes;
    for (int i = 0; i < 16; ++i)
        bytes.append(static_cast<char>(i));
    // Records of 4 bytes, of which only the first 2 are described.
    openWith({{"C", 0, 4, 16, {{6, 0, 2, "w"}}}}, bytes);
    prompts.modals.push_back([](QDialog&) { return int(QDialog::Accepted); }); // warnings: accept
    trigger("AcanEditType");
    ASSERT_TRUE(act("ACutBlank")->isEnabled());

    prompts.answers = {Prompter::Answer::No};
    trigger("ACutBlank");
    EXPECT_EQ(prompts.records.back().text,
              QStringLiteral("All The Area Not defined Will be Deleted, Are You Sure? "));
    EXPECT_EQ(streamBytes(doc().dataStream()), bytes);

    prompts.answers = {Prompter::Answer::Yes};
    trigger("ACutBlank");
    EXPECT_EQ(streamBytes(doc().dataStream()), QByteArray::fromHex("0001040508090c0d"));
    EXPECT_TRUE(doc().dataChanged());
    EXPECT_TRUE(doc().typeChanged());
    EXPECT_EQ(doc().segments()[0].recordLength, 2);
}

TEST_F(MainWindowTest, ReArrangeListPacksTheFieldsInOrder) {
    openWith({{"R", 0, 16, 64, {{7, 8, 4, "a"}, {5, 0, 2, "b"}, {10, 2, 8, "c"}}}});
    prompts.answers = {Prompter::Answer::No};
    trigger("AautoIndex");
    EXPECT_EQ(prompts.records.back().text,
              QStringLiteral("This Command Will Arrange The Active Segment's All TypeList And "
                             "change This Position! "));
    EXPECT_EQ(doc().segments()[0].entries[0].start, 8);
    EXPECT_FALSE(doc().typeChanged());
    prompts.answers = {Prompter::Answer::Yes};
    trigger("AautoIndex");
    const auto& e = doc().segments()[0].entries;
    EXPECT_EQ(e[0].start, 0);
    EXPECT_EQ(e[1].start, 4);
    EXPECT_EQ(e[2].start, 6);
    EXPECT_TRUE(doc().typeChanged());
}

TEST_F(MainWindowTest, SortCommands) {
    openWith({{"Late", 32, 4, 32, {{7, 2, 2, "x"}, {1, 0, 1, "y"}}},
              {"Early", 0, 4, 32, {{7, 0, 4, "z"}}}});
    doc().segments().setCurrent(&doc().segments()[0]);
    trigger("AsortTypeList");
    EXPECT_EQ(doc().segments()[0].entries[0].memo, "y");
    EXPECT_TRUE(doc().typeChanged());
    trigger("AsortAll");
    EXPECT_EQ(segmentNames(), (std::vector<std::string>{"Early", "Late"}));
    EXPECT_EQ(doc().segments().current(), &doc().segments()[0]);
}

TEST_F(MainWindowTest, TextOutputWritesTheTableAndOpensIt) {
    const QByteArray bytes = QByteArray::fromHex("07000900");
    const QString data = openWith({{"Seg0", 0, 2, 4, {{1, 0, 1, "v"}}}}, bytes, 2);
    const QString out = dir + QStringLiteral("out.txt");
    prompts.fileNames = {out};
    trigger("AoutPut");
    EXPECT_EQ(prompts.records[prompts.records.size() - 1].kind, ScriptedPrompter::Kind::SaveFile);
    EXPECT_EQ(prompts.records.back().text, QStringLiteral("type files (*.txt);;All files (*.*)"));
    EXPECT_EQ(prompts.records.back().suggested, data + QStringLiteral(".txt"));
    // A name typed without an extension gets the one of the chosen filter.
    EXPECT_EQ(withFilterExtension(QStringLiteral("/d.x/out"), QStringLiteral("type files (*.txt)")),
              QStringLiteral("/d.x/out.txt"));
    EXPECT_EQ(withFilterExtension(QStringLiteral("/d/o.csv"), QStringLiteral("type files (*.txt)")),
              QStringLiteral("/d/o.csv"));
    EXPECT_EQ(withFilterExtension(QStringLiteral("/d/out"), QStringLiteral("All files (*.*)")),
              QStringLiteral("/d/out"));
    const QByteArray text = readFile(out);
    EXPECT_TRUE(text.startsWith("This File is Made of With Vellomarque. See it at "));
    EXPECT_TRUE(text.contains("Segment 0 Name:Seg0  Begin:0 Length:4\r\n"));
    ASSERT_EQ(desktop.urls.size(), 1u);
    EXPECT_EQ(desktop.urls[0], QUrl::fromLocalFile(out));

    prompts.fileNames = {out};
    prompts.answers = {Prompter::Answer::No};
    QFile::resize(out, 0);
    trigger("AoutPut");
    EXPECT_EQ(prompts.records.back().title, QStringLiteral("Warning "));
    EXPECT_EQ(prompts.records.back().text,
              QStringLiteral("Are You Sure. ") + out + QStringLiteral(" Is Exist. Replace It ?"));
    EXPECT_EQ(readFile(out).size(), 0);
}

TEST_F(MainWindowTest, TextOutputOfASegmentBeforeTheFileIsRefusedAndKeepsTheOldFile) {
    openWith({{"Early", -8, 2, 16, {{1, 0, 1, "v"}}}});
    const QString out = dir + QStringLiteral("out.txt");
    writeFile(out, "old");
    prompts.fileNames = {out};
    prompts.answers = {Prompter::Answer::Yes};
    desktop.urls.clear();
    trigger("AoutPut");
    ASSERT_EQ(prompts.records.back().kind, ScriptedPrompter::Kind::Message);
    EXPECT_EQ(prompts.records.back().text,
              QStringLiteral("Segment 0 (Early) begins before the start of the file"));
    EXPECT_EQ(readFile(out), QByteArray("old"));
    EXPECT_TRUE(desktop.urls.empty());
}

// A control panel plugged in through the seam.
class FakePanel : public PanelHooks {
public:
    QWidget panel;
    std::vector<std::pair<bool, bool>> applied;
    std::pair<bool, bool> current{true, true};
    QWidget* controlPanel() override { return &panel; }
    QList<QAction*> editMenuActions() override { return {}; }
    void showFieldMenu(int, const QPoint&) override {}
    void applyPanelSettings(bool segList, bool typeCtrl) override {
        applied.push_back({segList, typeCtrl});
    }
    void readPanelSettings(bool& segList, bool& typeCtrl) const override {
        segList = current.first;
        typeCtrl = current.second;
    }
};

TEST_F(MainWindowTest, ThePanelsViewSettingsGoInAtStartAndOutAtTheEnd) {
    {
        auto s = platform::openSettings();
        s->setValue(QStringLiteral("showSegList"), 0);
    }
    auto* panel = new FakePanel;
    window().setPanel(std::unique_ptr<PanelHooks>(panel));
    ASSERT_FALSE(panel->applied.empty());
    EXPECT_EQ(panel->applied.back(), std::make_pair(false, true));
    panel->current = {true, false};
    EXPECT_TRUE(window().close());
    auto s = platform::openSettings();
    EXPECT_EQ(s->value(QStringLiteral("showSegList")).toInt(), 1);
    EXPECT_EQ(s->value(QStringLiteral("showTypeCtrl")).toInt(), 0);
}

TEST_F(MainWindowTest, HelpHomepageAndAbout) {
    trigger("Ahelp");
    ASSERT_EQ(desktop.urls.size(), 1u);
    const QString page = desktop.urls[0].toLocalFile();
    EXPECT_TRUE(page.endsWith(QStringLiteral("/index.htm")));
    EXPECT_TRUE(QFileInfo::exists(page)) << page.toStdString();
    trigger("Ahomepage");
    EXPECT_EQ(desktop.urls.back(), QUrl(QStringLiteral("http://www.vellomarque.net/")));

    prompts.modals.push_back([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("About Vellomarque"));
        auto* version = d.findChild<QLabel*>(QStringLiteral("Version"));
        EXPECT_TRUE(version && version->text() == QStringLiteral("Version 1.20 (2006-Oct-28)"));
        return int(QDialog::Accepted);
    });
    trigger("Aabout");
    EXPECT_EQ(prompts.unanswered, 0);

    // F1 of the structure message window opens its own page.
    window().structHint()->findChild<QAction*>(QStringLiteral("Ahelp"))->trigger();
    EXPECT_TRUE(
        desktop.urls.back().toLocalFile().endsWith(QStringLiteral("/Structure Error Message.htm")));
    EXPECT_TRUE(QFileInfo::exists(desktop.urls.back().toLocalFile()));

    // Without a browser the user is told so, with the page to open by hand.
    desktop.noBrowser = true;
    prompts.records.clear();
    trigger("Ahelp");
    window().structHint()->findChild<QAction*>(QStringLiteral("Ahelp"))->trigger();
    trigger("Ahomepage");
    ASSERT_EQ(prompts.records.size(), 3u);
    EXPECT_TRUE(prompts.records[0].text.endsWith(QDir::toNativeSeparators(page)));
    EXPECT_TRUE(prompts.records[1].text.endsWith(QStringLiteral("Structure Error Message.htm")));
    EXPECT_TRUE(prompts.records[2].text.contains(QStringLiteral("http://www.vellomarque.net/")));
}

} // namespace
