#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QPushButton>
#include <QTableView>
#include <QToolTip>

#include "appfixture.h"
#include "editstructhint.h"
#include "structhintmodel.h"

namespace {

vm::StructMessage finding(bool error, const char* first, bool expandable = false,
                          int segment = -1) {
    vm::StructMessage m;
    m.first = segment;
    m.firstName = first;
    m.message = std::string("message of ") + first;
    m.flags = error ? vm::kIsOverlay : vm::kHasSpace;
    m.expandable = expandable;
    return m;
}

vm::MessageList messages(std::initializer_list<vm::StructMessage> findings) {
    vm::MessageList list;
    for (const auto& f : findings)
        list.add(f);
    return list;
}

QString cell(QTableView* list, int row, int col) {
    return list->model()->index(row, col).data().toString();
}

// Pixels of a cell that differ from its most common colour: the drawn text.
int ink(QTableView* list, int row, int col) {
    const QRect r = list->visualRect(list->model()->index(row, col)).adjusted(2, 2, -2, -2);
    const QImage img = list->viewport()->grab(r).toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ++counts[img.pixel(x, y)];
    int most = 0;
    for (int c : counts)
        most = std::max(most, c);
    return img.width() * img.height() - most;
}

void clickRow(QTableView* list, int row) {
    const QRect r = list->visualRect(list->model()->index(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

TEST(StructHint, ListsRowsAndExpandsSummaryRowsIntoTheTypeList) {
    TeditStructHint w;
    QAbstractItemModelTester segTester(w.segList()->model());
    QAbstractItemModelTester typeTester(w.typeList()->model());
    int asked = 0;
    w.setTypeRowsProvider([&](int segment) {
        ++asked;
        EXPECT_EQ(segment, 4);
        return messages({finding(false, "f1"), finding(false, "f2")});
    });
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Struct Set Error (Warnning)"));
    QStringList heads;
    for (int i = 0; i < 5; ++i)
        heads << w.segList()->model()->headerData(i, Qt::Horizontal).toString() + "/" +
                     w.typeList()->model()->headerData(i, Qt::Horizontal).toString();
    EXPECT_EQ(heads,
              (QStringList{"Error Kind/Error Kind", "Error Segment/Error Type", "Collide/Collide",
                           "Message/Message", "Explication/Explication"}));

    w.setSegMessages(messages({finding(false, "A")}));
    EXPECT_FALSE(w.segListHasError());
    w.setSegMessages(
        messages({finding(false, "A"), finding(true, "B"), finding(false, "S", true, 4)}));
    EXPECT_TRUE(w.segListHasError());
    EXPECT_EQ(w.segRowCount(), 3);
    EXPECT_EQ(cell(w.segList(), 1, 0), QStringLiteral("Error"));
    EXPECT_EQ(cell(w.segList(), 0, 0), QStringLiteral("Warning"));
    EXPECT_EQ(cell(w.segList(), 0, 3), QStringLiteral("HasSpace "));
    EXPECT_EQ(cell(w.segList(), 2, 3), QStringLiteral("Click To Expend"));
    EXPECT_EQ(cell(w.segList(), 1, 4), QStringLiteral("message of B"));

    // A segment-level row lists no field findings.
    w.segList()->selectRow(0);
    EXPECT_EQ(w.typeRowCount(), 0);
    w.segList()->selectRow(2);
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(w.typeRowCount(), 2);
    EXPECT_EQ(cell(w.typeList(), 1, 1), QStringLiteral("f2"));
    EXPECT_FALSE(w.typeListHasError());

    // A second caller empties the segment list; the type list keeps its rows
    // until a row is selected or it is emptied too.
    w.clearSegList();
    EXPECT_EQ(w.segRowCount(), 0);
    EXPECT_FALSE(w.segListHasError());
    EXPECT_EQ(w.typeRowCount(), 2);
    w.setSegMessages(messages({finding(false, "C")}));
    w.segList()->selectRow(0);
    EXPECT_EQ(w.typeRowCount(), 0);
}

TEST(StructHint, ShowingTheWindowChoosesNoRowByItself) {
    TeditStructHint w;
    w.setTypeRowsProvider([](int) { return messages({finding(false, "f")}); });
    w.setSegMessages(messages({finding(false, "S", true, 0)}));
    w.segList()->selectRow(0);
    ASSERT_EQ(w.typeRowCount(), 1);

    // The next caller lists a segment-level finding first and shows the
    // window: the list taking the focus is no choice of a row.
    w.setSegMessages(messages({finding(false, "A"), finding(true, "B")}));
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.segList()->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(w.typeRowCount(), 1);
    // Moving down the list with the keyboard is.
    QTest::keyClick(w.segList(), Qt::Key_Down);
    EXPECT_EQ(w.segList()->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(w.typeRowCount(), 0);
}

TEST(StructHint, ClickedRowsKeepShowingTheirTexts) {
    TeditStructHint w;
    w.setTypeRowsProvider([](int) { return messages({finding(false, "field")}); });
    w.setSegMessages(messages({finding(false, "A"), finding(false, "S", true, 0)}));
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const int plain = ink(w.segList(), 1, 4);
    ASSERT_GT(plain, 20);

    clickRow(w.segList(), 1);
    ASSERT_EQ(w.typeRowCount(), 1);
    EXPECT_GT(ink(w.segList(), 1, 4), plain / 2);
    const int typePlain = ink(w.typeList(), 0, 4);
    ASSERT_GT(typePlain, 20);
    // The chosen row stays chosen while the other list is worked in.
    clickRow(w.typeList(), 0);
    EXPECT_EQ(w.segList()->selectionModel()->selectedRows().size(), 1);
    EXPECT_GT(ink(w.segList(), 1, 4), plain / 2);
    EXPECT_GT(ink(w.typeList(), 0, 4), typePlain / 2);
    EXPECT_EQ(cell(w.segList(), 1, 4), QStringLiteral("message of S"));
}

TEST(StructHint, ColumnsFitTheirTextsAndCutTextsShowAsTooltips) {
    TeditStructHint w;
    w.setSegMessages(messages({finding(true, "A segment with a long name of forty chars"),
                               finding(false, "S", true, 0)}));
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTableView* list = w.segList();
    for (int c = 0; c < 5; ++c) {
        EXPECT_GE(list->columnWidth(c), list->horizontalHeader()->sectionSizeHint(c)) << c;
        for (int r = 0; r < 2; ++r) {
            const QModelIndex i = list->model()->index(r, c);
            EXPECT_GE(list->visualRect(i).width(), list->sizeHintForIndex(i).width()) << c << r;
        }
    }

    auto tipAt = [&](int row, int col) {
        const QPoint p = list->visualRect(list->model()->index(row, col)).center();
        QHelpEvent e(QEvent::ToolTip, p, list->viewport()->mapToGlobal(p));
        QApplication::sendEvent(list->viewport(), &e);
    };
    tipAt(1, 3);
    EXPECT_FALSE(QToolTip::isVisible());
    list->setColumnWidth(3, 30);
    tipAt(1, 3);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Click To Expend"));
    QToolTip::hideText();
}

TEST(StructHint, MillionsOfFindingsListTheFirstRowsALineAndEverySummaryRow) {
    TeditStructHint w;
    QAbstractItemModelTester tester(w.segList()->model());
    int asked = -1;
    w.setTypeRowsProvider([&](int segment) {
        asked = segment;
        return vm::MessageList{};
    });
    vm::MessageList list;
    for (int i = 0; i < 25000; ++i)
        list.add(finding(true, "Seg"));
    list.add(finding(false, "Five", true, 5));
    list.add(finding(false, "Nine", true, 9));
    w.setSegMessages(std::move(list));
    EXPECT_EQ(w.segRowCount(), 25002);
    EXPECT_TRUE(w.segListHasError());

    QAbstractItemModel* m = w.segList()->model();
    const int shown = StructHintModel::kShownRows;
    ASSERT_EQ(m->rowCount(), shown + 3);
    EXPECT_EQ(cell(w.segList(), shown - 1, 1), QStringLiteral("Seg"));
    EXPECT_EQ(cell(w.segList(), shown, 0), QStringLiteral("15000 more findings are not listed."));
    EXPECT_FALSE(m->flags(m->index(shown, 0)) & Qt::ItemIsSelectable);
    EXPECT_EQ(cell(w.segList(), shown + 2, 1), QStringLiteral("Nine"));
    w.segList()->selectRow(shown + 2);
    EXPECT_EQ(asked, 9);
}

TEST(StructHint, OkAndCancelGiveTheirResults) {
    TeditStructHint w;
    w.setExplanation(QStringLiteral("text"));
    EXPECT_EQ(w.explanation(), QStringLiteral("text"));
    w.show();
    w.findChild<QPushButton*>(QStringLiteral("BOk"))->click();
    EXPECT_EQ(w.result(), QDialog::Accepted);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto* cancel = w.findChild<QPushButton*>(QStringLiteral("Bcancel"));
    cancel->setFocus();
    cancel->click();
    EXPECT_EQ(w.result(), QDialog::Rejected);
    // Cancel had the focus last time; shown again, Enter means Ok.
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(w.result(), QDialog::Accepted);
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
    EXPECT_TRUE(files().recentFiles().isEmpty());
}

} // namespace
