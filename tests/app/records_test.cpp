// Record insertion and deletion: the record menu, the two dialogs and the
// rewrite, checked on disk after saving.
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>

#include "addrecorddialog.h"
#include "appfixture.h"
#include "delrecorddialog.h"
#include "progresswindow.h"
#include "recordedits.h"
#include "recordpane.h"
#include "segmentgrid.h"

namespace {

// A 100-byte file fully described, so "Can Edit Structure" asks nothing:
// Head [0, 8), Recs five records of 8 at 8, Tail 13 records of 4 at 48.
class RecordTest : public AppTest {
protected:
    QString data;

    void openExample() {
        data = dir + QStringLiteral("r.bin");
        writeFile(data, countingBytes(100));
        writeType(data + QStringLiteral(".type"), kRecordsExample);
        openThroughDialog(data);
        trigger("AcanEditType");
        ASSERT_TRUE(doc().viewSettings().canEditStructure());
    }
    vm::Segment& seg(int i) { return doc().segments()[static_cast<std::size_t>(i)]; }

    // A right click in the index column of a grid row (0: the title row).
    void rightClick(vm::Segment& s, int row) {
        SegmentGrid* g = window().recordPane()->mainGrid(&s);
        ASSERT_NE(g, nullptr);
        ASSERT_TRUE(g->isVisible());
        QTest::mouseClick(g->viewport(), Qt::RightButton, {}, g->cellRect(0, row).center());
        auto* menu = window().findChild<QMenu*>(QStringLiteral("RecordMenu"));
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(menu->isVisible());
        menu->hide();
    }
    // Answers the next dialog: fills it, presses OK and reports its result.
    template <typename Dialog, typename Fill> void answer(Fill fill) {
        prompts.modals.push_back([fill](QDialog& d) {
            d.setResult(QDialog::Rejected);
            fill(static_cast<Dialog&>(d));
            return d.result();
        });
    }
    static void pressOk(QDialog& d) { d.findChild<QPushButton*>(QStringLiteral("BOk"))->click(); }
};

TEST_F(RecordTest, TheTitleRowAppendsAfterTheLastRecord) {
    openExample();
    rightClick(seg(1), 0);
    EXPECT_EQ(doc().segments().current(), &seg(1));
    EXPECT_TRUE(act("AaddRecord")->isEnabled());
    EXPECT_TRUE(act("AdelRecord")->isEnabled());
    answer<TAddRecord>([](TAddRecord& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("AddRecord"));
        EXPECT_EQ(d.positionBox()->text(), QStringLiteral("4"));
        EXPECT_TRUE(d.appendBox()->isChecked());
        d.findChild<QRadioButton*>(QStringLiteral("rFillNear"))->setChecked(true);
        d.countBox()->setText(QStringLiteral("2"));
        pressOk(d);
    });
    trigger("AaddRecord");
    ASSERT_EQ(prompts.unanswered, 0);
    EXPECT_TRUE(doc().dataChanged());
    EXPECT_TRUE(doc().typeChanged());
    EXPECT_EQ(seg(1).recordCount, 7);
    EXPECT_EQ(seg(2).begin, 64);
    EXPECT_EQ(window().recordPane()->mainGrid(&seg(1))->rowCount(), 8);

    trigger("AsaveAll");
    QByteArray expect = countingBytes(48);
    expect += countingBytes(48).mid(40, 8).repeated(2); // copies of the last record
    expect += countingBytes(100).mid(48);
    EXPECT_EQ(readFile(data), expect);
    vm::TypeReadResult t = vm::readTypeFile(toNative(data + QStringLiteral(".type")), 116);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.content.segments[1].length, 56);
    EXPECT_EQ(t.content.segments[2].begin, 64);
}

TEST_F(RecordTest, TheAddDialogRefusesBadInputAndStaysOpen) {
    openExample();
    rightClick(seg(1), 2); // record 1
    answer<TAddRecord>([this](TAddRecord& d) {
        EXPECT_FALSE(d.appendBox()->isChecked());
        EXPECT_EQ(d.positionBox()->text(), QStringLiteral("1"));
        // Past the last record without the append box: refused before any rewrite.
        d.positionBox()->setText(QStringLiteral("6"));
        pressOk(d);
        EXPECT_EQ(prompts.messageTexts().last(),
                  QStringLiteral("The Insert Position \"6\" Is Not a Valid Value"));
        d.positionBox()->setText(QStringLiteral("2"));
        d.countBox()->setText(QStringLiteral("-1"));
        pressOk(d);
        EXPECT_EQ(prompts.messageTexts().last(),
                  QStringLiteral("The Add Record Count \"-1\" Is Not a Valid Value"));
        EXPECT_EQ(d.result(), QDialog::Rejected);
        // A count that is no number inserts one record.
        d.countBox()->setText(QStringLiteral("some"));
        pressOk(d);
    });
    trigger("AaddRecord");
    EXPECT_EQ(prompts.unanswered, 0);
    EXPECT_EQ(seg(1).recordCount, 6);
    EXPECT_EQ(streamBytes(doc().dataStream()).mid(24, 8), QByteArray(8, '\0'));
    // The boxes keep their texts for the next use.
    EXPECT_EQ(window().addRecordDialog()->countBox()->text(), QStringLiteral("some"));
}

TEST_F(RecordTest, DeleteRemovesRecordsAndMovesTheFollowingSegments) {
    openExample();
    rightClick(seg(1), 3); // record 2
    answer<TdelRecord>([this](TdelRecord& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("DelRecord"));
        EXPECT_EQ(d.firstBox()->text(), QStringLiteral("2"));
        EXPECT_EQ(d.lastBox()->text(), QStringLiteral("2"));
        d.firstBox()->setText(QStringLiteral("5"));
        pressOk(d);
        d.firstBox()->setText(QStringLiteral("3"));
        pressOk(d);
        d.lastBox()->setText(QStringLiteral("4"));
        d.firstBox()->setText(QStringLiteral("2"));
        pressOk(d);
    });
    trigger("AdelRecord");
    EXPECT_EQ(prompts.messageTexts(),
              QStringList({QStringLiteral("The Deleted Begin: \"5\" Is Not a Valid Value"),
                           QStringLiteral("The Deleted End Must Bigger Than Deleted Begin")}));
    EXPECT_EQ(seg(1).length, 16);
    EXPECT_EQ(seg(2).begin, 24);
    trigger("AsaveAll");
    EXPECT_EQ(readFile(data), countingBytes(24) + countingBytes(100).mid(48));
}

TEST_F(RecordTest, TheCommandLineGivesTheSameFiles) {
    openExample();
    const QString copy = dir + QStringLiteral("c.bin");
    QFile::copy(data, copy);
    QFile::copy(data + QStringLiteral(".type"), copy + QStringLiteral(".type"));
    rightClick(seg(1), 2);
    answer<TAddRecord>([](TAddRecord& d) {
        d.countBox()->setText(QStringLiteral("3"));
        d.findChild<QRadioButton*>(QStringLiteral("rFillNear"))->setChecked(true);
        pressOk(d);
    });
    trigger("AaddRecord");
    trigger("AsaveAll");

    QProcess cli;
    cli.start(QStringLiteral(VM_CLI_PATH),
              {QStringLiteral("add-records"), copy, QStringLiteral("Recs"), QStringLiteral("1"),
               QStringLiteral("3"), QStringLiteral("--fill-near")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(readFile(copy), readFile(data));
    EXPECT_EQ(readFile(copy + QStringLiteral(".type")), readFile(data + QStringLiteral(".type")));
}

TEST_F(RecordTest, AFailedRewriteChangesNothing) {
    openExample();
    const QByteArray before = streamBytes(doc().dataStream());
    const std::string working = doc().workingFile().name;
    doc().workingFile().tempDir = toNative(dir + QStringLiteral("gone/"));
    rightClick(seg(1), 1);
    answer<TdelRecord>([](TdelRecord& d) { pressOk(d); });
    trigger("AdelRecord");
    ASSERT_EQ(prompts.records.back().kind, ScriptedPrompter::Kind::Message);
    EXPECT_FALSE(prompts.records.back().text.isEmpty());
    EXPECT_EQ(doc().workingFile().name, working);
    EXPECT_EQ(streamBytes(doc().dataStream()), before);
    EXPECT_EQ(seg(1).length, 40);
    EXPECT_EQ(seg(2).begin, 48);
    EXPECT_FALSE(doc().dataChanged());
    EXPECT_FALSE(doc().typeChanged());
}

// The record entries without a mouse: the Edit menu and the Menu key act on
// the current grid's current row; the mouse's menu opens at the clicked row
// even when making its segment current moved the grids.
TEST_F(RecordTest, TheMenuBarAndTheMenuKeyReachTheRecordsOfTheCurrentRow) {
    openExample();
    QMenu* edit = window().findChild<QMenu*>(QStringLiteral("Edit1"));
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->actions().contains(act("AaddRecord")));
    EXPECT_TRUE(edit->actions().contains(act("AdelRecord")));

    doc().setCurrentSegment(&seg(1));
    SegmentGrid* g = window().recordPane()->mainGrid(&seg(1));
    g->selectCell(1, 3); // record 2
    emit edit->aboutToShow();
    ASSERT_TRUE(act("AdelRecord")->isEnabled());
    answer<TdelRecord>([](TdelRecord& d) {
        EXPECT_EQ(d.firstBox()->text(), QStringLiteral("2"));
        d.reject();
    });
    trigger("AdelRecord");

    g->selectCell(1, 5); // record 4
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(), g->mapToGlobal(QPoint()));
    QApplication::sendEvent(g, &key);
    auto* menu = window().findChild<QMenu*>(QStringLiteral("RecordMenu"));
    ASSERT_TRUE(menu->isVisible());
    menu->hide();
    answer<TAddRecord>([](TAddRecord& d) {
        EXPECT_EQ(d.positionBox()->text(), QStringLiteral("4"));
        EXPECT_FALSE(d.appendBox()->isChecked());
        d.reject();
    });
    trigger("AaddRecord");

    // Tail's grid stands below the others; clicked, it becomes current where
    // it stands, and the menu opens at the clicked row.
    doc().setCurrentSegment(&seg(0));
    SegmentGrid* tail = window().recordPane()->mainGrid(&seg(2));
    ASSERT_TRUE(tail->isVisible());
    const int before = tail->viewport()->mapToGlobal(tail->cellRect(0, 6).center()).y();
    QTest::mouseClick(tail->viewport(), Qt::RightButton, {}, tail->cellRect(0, 6).center());
    ASSERT_EQ(doc().segments().current(), &seg(2));
    const int row = tail->viewport()->mapToGlobal(tail->cellRect(0, 6).center()).y();
    EXPECT_EQ(row, before);
    ASSERT_TRUE(menu->isVisible());
    EXPECT_NEAR(menu->pos().y(), row, 1);
    menu->hide();
    EXPECT_EQ(prompts.unanswered, 0);
}

// The window asked to close while a rewrite runs (its progress lets events
// run): the user is asked, Yes stops the rewrite, which changes nothing, and
// the window closes once it has unwound.
TEST_F(RecordTest, ClosingDuringARewriteStopsItFirst) {
    openExample();
    QString error;
    bool done = true;
    prompts.answers.push_back(Prompter::Answer::Yes);
    {
        ProgressWindow progress(&window(), QStringLiteral("Add Record"));
        done = doc().rewrite(
            QStringLiteral("Add Record"), progress.callback(),
            [&](vm::WorkingFile& wf, vm::SegmentList& list, const vm::Progress& p) {
                window().close(); // arrives while the work runs
                vm::AddRecordsRequest r;
                r.position = 0;
                r.count = 2;
                const vm::FileResult f = vm::addRecordsToSegment(wf, list, list[1], r, p);
                return Document::RewriteResult{f.ok, f.error};
            },
            &error);
        EXPECT_TRUE(window().isVisible());
    }
    EXPECT_EQ(prompts.messageTexts(), QStringList{QStringLiteral("Stop the running change and close?")});
    EXPECT_FALSE(done);
    EXPECT_EQ(error, QStringLiteral("Stopped by the user"));
    EXPECT_EQ(streamBytes(doc().dataStream()), countingBytes(100));
    EXPECT_EQ(seg(1).recordCount, 5);
    QTRY_VERIFY(!window().isVisible());
    EXPECT_FALSE(doc().dataChanged());
}

TEST_F(RecordTest, TheMenuNeedsEditModeFieldsAndRecords) {
    data = dir + QStringLiteral("e.bin");
    writeFile(data, countingBytes(16));
    writeType(data + QStringLiteral(".type"),
              {{"Empty", 0, 4, 0, {{7, 0, 4, "v"}}}, {"NoFields", 0, 4, 16, {}}});
    openThroughDialog(data);
    vm::Segment& empty = doc().segments()[0];
    rightClick(empty, 0);
    EXPECT_FALSE(act("AaddRecord")->isEnabled()); // not in edit mode

    prompts.modals.push_back([](QDialog&) { return int(QDialog::Accepted); }); // warnings: go on
    trigger("AcanEditType");
    ASSERT_TRUE(doc().viewSettings().canEditStructure());
    rightClick(empty, 0);
    EXPECT_TRUE(act("AaddRecord")->isEnabled());
    EXPECT_FALSE(act("AdelRecord")->isEnabled()); // no records
    // No records: the position box reads 0 and is disabled; the records go at the start.
    answer<TAddRecord>([](TAddRecord& d) {
        EXPECT_EQ(d.positionBox()->text(), QStringLiteral("0"));
        EXPECT_FALSE(d.positionBox()->isEnabled());
        EXPECT_FALSE(d.appendBox()->isChecked());
        pressOk(d);
    });
    trigger("AaddRecord");
    EXPECT_EQ(empty.recordCount, 1);
    EXPECT_EQ(streamBytes(doc().dataStream()), QByteArray(4, '\0') + countingBytes(16));

    rightClick(doc().segments()[1], 1);
    EXPECT_FALSE(act("AaddRecord")->isEnabled()); // no fields
}

} // namespace

TEST_F(RecordTest, BelowAShortTailTheTitleRowStillOffersTheLastWholeRecord) {
    // Five records of 8 and two bytes more: the tail has a row of its own but
    // is no record, so appending starts after record 4, not after the tail.
    data = dir + QStringLiteral("t.bin");
    writeFile(data, countingBytes(50));
    writeType(data + QStringLiteral(".type"),
              {{"Head", 0, 8, 8, {{7, 0, 4, "h0"}, {7, 4, 4, "h1"}}},
               {"Recs", 8, 8, 42, {{7, 0, 4, "a"}, {7, 4, 4, "b"}}}});
    openThroughDialog(data);
    prompts.modals.push_back([](QDialog&) { return int(QDialog::Accepted); }); // warnings only
    trigger("AcanEditType");
    ASSERT_TRUE(doc().viewSettings().canEditStructure());
    ASSERT_EQ(seg(1).recordCount, 5);
    ASSERT_EQ(window().recordPane()->mainGrid(&seg(1))->rowCount(), 7);
    rightClick(seg(1), 0);
    answer<TAddRecord>([](TAddRecord& d) {
        EXPECT_EQ(d.positionBox()->text(), QStringLiteral("4"));
        EXPECT_TRUE(d.appendBox()->isChecked());
        d.reject();
    });
    trigger("AaddRecord");
    EXPECT_EQ(prompts.unanswered, 0);
}
