#include <QAbstractItemModelTester>
#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include "appfixture.h"
#include "editstructhint.h"

namespace {

StructHintRow row(bool error, const char* first, const char* names, bool expandable = false,
                  vm::Segment* seg = nullptr) {
    StructHintRow r;
    r.error = error;
    r.first = QString::fromLatin1(first);
    r.names = QString::fromLatin1(names);
    r.message = QStringLiteral("message of ") + r.first;
    r.expandable = expandable;
    r.segment = seg;
    return r;
}

TEST(StructHint, ListsRowsAndExpandsSummaryRowsIntoTheTypeList) {
    TeditStructHint w;
    QAbstractItemModelTester segTester(w.segList()->model());
    QAbstractItemModelTester typeTester(w.typeList()->model());
    vm::Segment seg;
    int asked = 0;
    w.setTypeRowsProvider([&](vm::Segment* s) {
        ++asked;
        EXPECT_EQ(s, &seg);
        return std::vector<StructHintRow>{row(false, "f1", "HasSpace "),
                                          row(false, "f2", "IsNotSort ")};
    });
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Struct Set Error (Warnning)"));
    QStringList heads;
    for (int i = 0; i < 5; ++i)
        heads << w.segList()->headerItem()->text(i) + "/" + w.typeList()->headerItem()->text(i);
    EXPECT_EQ(heads,
              (QStringList{"Error Kind/Error Kind", "Error Segment/Error Type", "Collide/Collide",
                           "Message/Message", "Explication/Explication"}));

    w.addSegRow(row(false, "A", "HasSpace "));
    EXPECT_FALSE(w.segListHasError());
    w.addSegRow(row(true, "B", "IsOverlay "));
    w.addSegRow(row(false, "S", "", true, &seg));
    EXPECT_TRUE(w.segListHasError());
    EXPECT_EQ(w.segList()->topLevelItem(1)->text(0), QStringLiteral("Error"));
    EXPECT_EQ(w.segList()->topLevelItem(0)->text(0), QStringLiteral("Warning"));
    EXPECT_EQ(w.segList()->topLevelItem(2)->text(3), QStringLiteral("Click To Expend"));
    EXPECT_EQ(w.segList()->topLevelItem(1)->text(4), QStringLiteral("message of B"));

    // A segment-level row lists no field findings.
    w.segList()->setCurrentItem(w.segList()->topLevelItem(0));
    EXPECT_EQ(w.typeRowCount(), 0);
    w.segList()->setCurrentItem(w.segList()->topLevelItem(2));
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(w.typeRowCount(), 2);
    EXPECT_EQ(w.typeList()->topLevelItem(1)->text(1), QStringLiteral("f2"));
    EXPECT_FALSE(w.typeListHasError());

    // A second caller empties the segment list; the type list keeps its rows
    // until a row is selected or it is emptied too.
    w.clearSegList();
    EXPECT_EQ(w.segRowCount(), 0);
    EXPECT_FALSE(w.segListHasError());
    EXPECT_EQ(w.typeRowCount(), 2);
    w.addSegRow(row(false, "C", "HasSpace "));
    w.segList()->setCurrentItem(w.segList()->topLevelItem(0));
    EXPECT_EQ(w.typeRowCount(), 0);
}

TEST(StructHint, ShowingTheWindowChoosesNoRowByItself) {
    TeditStructHint w;
    vm::Segment seg;
    w.setTypeRowsProvider(
        [](vm::Segment*) { return std::vector<StructHintRow>{row(false, "f", "HasSpace ")}; });
    w.addSegRow(row(false, "S", "", true, &seg));
    w.segList()->setCurrentItem(w.segList()->topLevelItem(0));
    ASSERT_EQ(w.typeRowCount(), 1);

    // The next caller lists a segment-level finding first and shows the
    // window: the list taking the focus is no choice of a row.
    w.clearSegList();
    w.addSegRow(row(false, "A", "HasSpace "));
    w.addSegRow(row(true, "B", "IsOverlay "));
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.segList()->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(w.typeRowCount(), 1);
    // Moving down the list with the keyboard is.
    QTest::keyClick(w.segList(), Qt::Key_Down);
    EXPECT_EQ(w.segList()->selectedItems().size(), 1);
    EXPECT_EQ(w.typeRowCount(), 0);
}

TEST(StructHint, OkAndCancelGiveTheirResults) {
    TeditStructHint w;
    w.setExplanation(QStringLiteral("text"));
    EXPECT_EQ(w.explanation(), QStringLiteral("text"));
    w.show();
    w.findChild<QPushButton*>(QStringLiteral("BOk"))->click();
    EXPECT_EQ(w.result(), QDialog::Accepted);
    w.show();
    w.findChild<QPushButton*>(QStringLiteral("Bcancel"))->click();
    EXPECT_EQ(w.result(), QDialog::Rejected);
}

class StartupTest : public AppTest {};

TEST_F(StartupTest, TheCommandLineFileOpensWhenTheWindowFirstShows) {
    const QString data = dir + QStringLiteral("cmd.bin");
    writeFile(data, QByteArray(10, 'c'));
    writeType(data + QStringLiteral(".type"), {{"Cmd", 0, 2, 10, {{1, 0, 1, "b"}}}});
    win = std::make_unique<Tmain>();
    win->document().setTempDir(tempDir);
    win->setCommandLineFile(data + QStringLiteral(".type"));
    EXPECT_TRUE(win->document().dataFileName().isEmpty());
    win->show();
    QTRY_COMPARE(win->document().dataFileName(), data);
    EXPECT_EQ(segmentNames(), std::vector<std::string>{"Cmd"});
    EXPECT_TRUE(act("AcloseAll")->isEnabled());
}

TEST_F(StartupTest, AWorkingCopyThatCannotBeMadeIsReported) {
    const QString data = dir + QStringLiteral("w.bin");
    writeFile(data, QByteArray(10, 'w'));
    doc().setTempDir(dir + QStringLiteral("no-such-folder/"));
    openThroughDialog(data);
    // The message keeps its text and gives the system's reason on a second line.
    ASSERT_EQ(prompts.messageTexts().size(), 1);
    const QStringList lines = prompts.messageTexts().first().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("File  ") + data + QStringLiteral(" Open Error"));
    EXPECT_FALSE(lines[1].isEmpty());
    EXPECT_TRUE(doc().dataFileName().isEmpty());
    EXPECT_TRUE(doc().recentFiles().isEmpty());
}

} // namespace
