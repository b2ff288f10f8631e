// The control panel: its layout, the segment list and editors, the segment
// actions in both modes, drops, locating offsets and the position bars.
#include <QDockWidget>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

#include "editstructhint.h"
#include "panelfixture.h"
#include "positionbar.h"
#include "recordpane.h"
#include "segmentgrid.h"
#include "updownbuttons.h"

namespace {

void click(UpDownButtons* ud, bool up) {
    (up ? ud->upButton() : ud->downButton())->click();
}

// A 100-byte file described without findings: A [0, 40) of 8-byte records,
// B [40, 60) of 4, C [60, 100) of 10.
const std::vector<SegmentSpec> kClean = {
    {"A", 0, 8, 40, {{7, 0, 4, "a0"}, {7, 4, 4, "a1"}}},
    {"B", 40, 4, 20, {{7, 0, 4, "b"}}},
    {"C", 60, 10, 40, {{7, 0, 4, "c0"}, {15, 4, 6, "c1"}}},
};

TEST_F(PanelTest, EveryNamedControlIsThereAndStartsDisabled) {
    panel();
    EXPECT_EQ(window().controlDock()->widget(), &panel());
    EXPECT_EQ(window().controlDock()->windowTitle(), QStringLiteral("Main Control"));
    for (const char* name :
         {"LvPart",        "lvPartGB",    "cPosImg",      "typeCtrlSB",  "lvPartSB",
          "EFileSize",     "typeCtrlGB",  "segName",      "isH",         "cToFileEnd",
          "segBegin",      "recLength",   "segLength",    "recCount",    "UDStartpoint",
          "UDStartpoint1", "UDrecLength", "UDrecLength1", "UDsegLength", "UDsegLength1",
          "UDrecCount",    "UDrecCount1", "cPosImg1"})
        find<QWidget>(name);
    for (const char* name : {"segName", "isH", "segBegin", "UDrecCount1", "recCount"})
        EXPECT_FALSE(find<QWidget>(name)->isEnabled()) << name;
    const std::pair<const char*, const char*> labels[] = {
        {"LIsOver", "IsOverly"},    {"LIsOverLay", "IsCover"},  {"LHasBlank", "HasBlank"},
        {"LnotSort", "NotSort"},    {"LIsOver1", "IsOverly"},   {"LIsOverLay1", "IsCover"},
        {"LHasBlank1", "HasBlank"}, {"LIsNotFit1", "IsNotFit"}, {"LnotSort1", "NotSort"}};
    for (const auto& [name, caption] : labels) {
        auto* l = find<IndicatorLabel>(name);
        EXPECT_EQ(l->text(), QString::fromLatin1(caption));
        EXPECT_FALSE(l->isEnabled()) << name;
    }
    EXPECT_EQ(find<QToolButton>("typeCtrlSB")->toolTip(),
              QStringLiteral("Show Segment Infomation"));
    EXPECT_EQ(find<QToolButton>("lvPartSB")->toolTip(), QStringLiteral("Show Segment List"));
    EXPECT_EQ(find<PositionBar>("cPosImg")->height(), 6);

    QStringList headers;
    for (int c = 0; c < 5; ++c)
        headers << list()->headerItem()->text(c);
    EXPECT_EQ(headers, QStringList({"", "Segment Name", "Begin", "Length", "Anomaly"}));
    const QStringList segmentActions = {"New Segment",    "Copy Segment", "Delete Segment",
                                        "Insert Segment", "Past Segment", "Cut Segment"};
    const QString describe = QString::fromUtf8("Describe From Data\xE2\x80\xA6");
    EXPECT_EQ(captions(find<QMenu>("partMenu")->actions()),
              segmentActions + QStringList({"|", describe}));
    EXPECT_EQ(captions(window().menuBar()->actions().at(1)->menu()->actions()),
              QStringList({"Undo", "Redo", "|"}) + segmentActions + QStringList({"|", describe, "|", "Add Record", "Delete Record", "|",
                                            QString::fromUtf8("Export Records\xE2\x80\xA6"),
                                            QString::fromUtf8("Import Records\xE2\x80\xA6")}));
}

TEST_F(PanelTest, SelectingARowMakesItsSegmentCurrentAndFillsTheEditors) {
    openWith(kClean, countingBytes(100));
    ASSERT_EQ(rowCount(), 3);
    EXPECT_EQ(doc().segments().current(), &seg(0));
    EXPECT_EQ(QStringList({cell(1, 0), cell(1, 1), cell(1, 2), cell(1, 3), cell(1, 4)}),
              QStringList({"2", "B", "40", "20", "false"}));
    selectRow(2);
    EXPECT_EQ(doc().segments().current(), &seg(2));
    EXPECT_EQ(text("segName"), QStringLiteral("C"));
    EXPECT_EQ(text("segBegin"), QStringLiteral("60"));
    EXPECT_EQ(text("recLength"), QStringLiteral("10"));
    EXPECT_EQ(text("recCount"), QStringLiteral("4"));
    EXPECT_EQ(text("EFileSize"), QStringLiteral("100"));
    EXPECT_TRUE(window().recordPane()->mainGrid(&seg(2))->isVisible());
    // A grid taking the focus selects its row.
    doc().selectSegment(&seg(1));
    EXPECT_EQ(list()->currentItem(), list()->topLevelItem(1));
    EXPECT_FALSE(doc().typeChanged());
}

TEST_F(PanelTest, EditorsFollowTheModeAndTheSegmentsKind) {
    openWith(kClean, countingBytes(100));
    auto enabled = [this](const char* name) { return find<QWidget>(name)->isEnabled(); };
    EXPECT_FALSE(enabled("segBegin"));
    EXPECT_FALSE(find<QAction>("A_partNew")->isEnabled());
    trigger("AcanResetType");
    for (const char* name : {"segName", "isH", "cToFileEnd", "segBegin", "UDStartpoint1",
                             "recLength", "segLength", "recCount", "UDrecCount"})
        EXPECT_TRUE(enabled(name)) << name;
    find<QCheckBox>("cToFileEnd")->click();
    EXPECT_TRUE(seg(0).toFilesEnd);
    EXPECT_EQ(text("segLength"), QStringLiteral("100")); // runs to the end of the file now
    EXPECT_EQ(text("recCount"), QStringLiteral("12"));
    for (const char* name : {"segLength", "UDsegLength", "recCount", "UDrecCount1"})
        EXPECT_FALSE(enabled(name)) << name;
    EXPECT_TRUE(enabled("segBegin"));
    find<QCheckBox>("isH")->click();
    EXPECT_TRUE(seg(0).anomaly);
    EXPECT_FALSE(enabled("recLength"));
    EXPECT_FALSE(enabled("UDrecLength"));
    EXPECT_TRUE(doc().typeChanged());

    // In edit mode the numbers change only through the actions.
    find<QCheckBox>("isH")->click();
    find<QCheckBox>("cToFileEnd")->click();
    setText("segLength", QStringLiteral("40"));
    trigger("AcanEditType");
    ASSERT_TRUE(doc().viewSettings().canEditStructure());
    EXPECT_FALSE(enabled("segBegin"));
    EXPECT_FALSE(enabled("segName"));
    EXPECT_TRUE(find<QAction>("A_partNew")->isEnabled());
    EXPECT_FALSE(find<QAction>("A_partCut")->isEnabled()); // reset mode only
}

TEST_F(PanelTest, TypedNumbersAndUpDownsKeepTheSegmentInsideTheFile) {
    openWith(kClean, countingBytes(100));
    trigger("AcanResetType");
    selectRow(1);
    // A begin that runs the segment past the end ends it at the end.
    setText("segBegin", QStringLiteral("90"));
    EXPECT_EQ(seg(1).begin, 90);
    EXPECT_EQ(seg(1).length, 10);
    EXPECT_EQ(text("recCount"), QStringLiteral("2"));
    EXPECT_EQ(cell(1, 2), QStringLiteral("90"));
    EXPECT_TRUE(doc().typeChanged());
    // Step 10 would reach the end: not written. Step 1 still moves.
    click(find<UpDownButtons>("UDStartpoint1"), true);
    EXPECT_EQ(text("segBegin"), QStringLiteral("90"));
    click(find<UpDownButtons>("UDStartpoint"), true);
    EXPECT_EQ(seg(1).begin, 91);
    // Record length never below 1; record count from 0 downwards stays 0.
    setText("recLength", QStringLiteral("2"));
    click(find<UpDownButtons>("UDrecLength1"), false);
    EXPECT_EQ(text("recLength"), QStringLiteral("1"));
    EXPECT_EQ(seg(1).recordLength, 1);
    setText("recCount", QStringLiteral("0"));
    click(find<UpDownButtons>("UDrecCount"), false);
    EXPECT_EQ(text("recCount"), QStringLiteral("0"));
    // Length: typed as it is, the count follows; text that is no number changes nothing.
    setText("segLength", QStringLiteral("4"));
    EXPECT_EQ(seg(1).length, 4);
    EXPECT_EQ(text("recCount"), QStringLiteral("4"));
    setText("segLength", QStringLiteral("4x"));
    EXPECT_EQ(seg(1).length, 4);
    // Typed past the end of the file: the length stays as described, the row
    // says so and IsOverly lights; the count is what the file holds.
    setText("segBegin", QStringLiteral("60"));
    setText("segLength", QStringLiteral("1000"));
    EXPECT_EQ(seg(1).length, 1000);
    EXPECT_EQ(cell(1, 3), QStringLiteral("1000"));
    EXPECT_EQ(text("recCount"), QStringLiteral("40"));
    EXPECT_TRUE(find<IndicatorLabel>("LIsOver")->isEnabled());
    setText("segName", QStringLiteral("Renamed"));
    EXPECT_EQ(seg(1).name, "Renamed");
    EXPECT_EQ(cell(1, 1), QStringLiteral("Renamed"));
}

TEST_F(PanelTest, TypingIntoAnEditorKeepsItsFocusKeyAfterKey) {
    openWith(kClean, countingBytes(100));
    trigger("AcanResetType");
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    auto* name = find<QLineEdit>("segName");
    name->setFocus();
    name->selectAll();
    for (const char c : std::string("Abc")) {
        QTest::keyClick(QApplication::focusWidget(), c);
        ASSERT_EQ(QApplication::focusWidget(), name) << c;
    }
    EXPECT_EQ(seg(0).name, "Abc");
    EXPECT_EQ(cell(0, 1), QStringLiteral("Abc"));
}

TEST_F(PanelTest, SegmentActionsInResetModeKeepRowsAndListInStep) {
    openWith(kClean, countingBytes(100));
    trigger("AcanResetType");
    selectRow(1);
    find<QAction>("A_partInsert")->trigger();
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"A", "Seg0", "B", "C"}));
    EXPECT_EQ(segmentNames(), rowNames());
    EXPECT_EQ(doc().segments().current(), &seg(1));
    EXPECT_EQ(seg(1).length, 100); // reset mode: the whole file
    EXPECT_EQ(cell(2, 0), QStringLiteral("3"));
    // Delete removes exactly the segment shown on the row.
    selectRow(2);
    find<QAction>("A_partDel")->trigger();
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"A", "Seg0", "C"}));
    EXPECT_EQ(segmentNames(), rowNames());
    EXPECT_EQ(list()->currentItem(), list()->topLevelItem(2));
    // Deleting the last row selects the new last row.
    find<QAction>("A_partDel")->trigger();
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"A", "Seg0"}));
    EXPECT_EQ(doc().segments().current(), &seg(1));

    // Copy, change the copied segment, paste: the copy has the changes.
    selectRow(0);
    find<QAction>("A_partCopy")->trigger();
    EXPECT_TRUE(find<QAction>("A_partPast")->isEnabled());
    setText("segLength", QStringLiteral("24"));
    selectRow(1);
    find<QAction>("A_partPast")->trigger();
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"A", "A", "Seg0"}));
    EXPECT_EQ(seg(1).length, 24);
    EXPECT_EQ(seg(1).entries.size(), 2u);
    EXPECT_NE(&seg(1).entries, &seg(0).entries);
    // Cutting the copied segment empties the clipboard.
    selectRow(0);
    find<QAction>("A_partCut")->trigger();
    EXPECT_FALSE(find<QAction>("A_partPast")->isEnabled());
    EXPECT_EQ(panel().segmentClipboard(), nullptr);
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"A", "Seg0"}));

    // The only row gone: no current segment, the field list empty, its actions off.
    find<QAction>("A_partDel")->trigger();
    find<QAction>("A_partDel")->trigger();
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(doc().segments().current(), nullptr);
    EXPECT_EQ(fieldList->shown.back(), nullptr);
    EXPECT_FALSE(fieldList->actionStates.back().hasCurrentSegment);
    EXPECT_FALSE(find<QAction>("A_partDel")->isEnabled());
    EXPECT_TRUE(find<QAction>("A_partNew")->isEnabled());
    EXPECT_FALSE(doc().dataChanged()); // reset mode never touches the file
}

TEST_F(PanelTest, SegmentActionsInEditModeMoveTheBytes) {
    const QString data = openWith(kClean, countingBytes(100));
    trigger("AcanEditType");
    ASSERT_TRUE(doc().viewSettings().canEditStructure());
    find<QAction>("A_partNew")->trigger();
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"A", "B", "C", "Seg0"}));
    EXPECT_EQ(seg(3).begin, 100);
    EXPECT_EQ(seg(3).length, 0);
    EXPECT_FALSE(doc().dataChanged());

    // B's 20 bytes pasted before C: C and the new segment move up by 20.
    selectRow(1);
    find<QAction>("A_partCopy")->trigger();
    selectRow(2);
    find<QAction>("A_partPast")->trigger();
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"A", "B", "B", "C", "Seg0"}));
    EXPECT_EQ(seg(2).begin, 60);
    EXPECT_EQ(seg(3).begin, 80);
    EXPECT_EQ(seg(4).begin, 120);
    EXPECT_EQ(cell(3, 2), QStringLiteral("80"));
    EXPECT_TRUE(doc().dataChanged());
    const QByteArray all = countingBytes(100);
    EXPECT_EQ(streamBytes(doc().dataStream()), all.left(60) + all.mid(40, 20) + all.mid(60));

    // Deleting A takes its 40 bytes (once the user agrees); everything after
    // moves back.
    selectRow(0);
    prompts.answers.push_back(Prompter::Answer::Yes);
    find<QAction>("A_partDel")->trigger();
    EXPECT_EQ(streamBytes(doc().dataStream()), all.mid(40, 20) + all.mid(40, 20) + all.mid(60));
    EXPECT_EQ(seg(0).begin, 0);
    EXPECT_EQ(seg(2).begin, 40);

    // A rewrite that cannot be made changes nothing and says why.
    const QByteArray before = streamBytes(doc().dataStream());
    doc().workingFile().tempDir = toNative(dir + QStringLiteral("gone/"));
    const auto rows = rowNames();
    selectRow(1);
    prompts.answers.push_back(Prompter::Answer::Yes);
    find<QAction>("A_partDel")->trigger();
    ASSERT_EQ(prompts.records.back().kind, ScriptedPrompter::Kind::Message);
    EXPECT_TRUE(prompts.records.back().text.contains(QStringLiteral("No such file")))
        << prompts.records.back().text.toStdString();
    EXPECT_EQ(rowNames(), rows);
    EXPECT_EQ(segmentNames(), rows);
    EXPECT_EQ(doc().segments().current(), &seg(1));
    EXPECT_EQ(streamBytes(doc().dataStream()), before);
    trigger("AsaveAll");
    EXPECT_EQ(readFile(data), before);
}

// Laid out as the example file: a header, readings and a ledger that runs to
// the end of the file, stored with a stale length of one record.
const std::vector<SegmentSpec> kLedger = {
    {"Header", 0, 4, 32, {{7, 0, 4, "h"}}},
    {"Readings", 32, 4, 528, {{7, 0, 4, "r"}}},
    {"Ledger", 560, 4, 4, {{7, 0, 4, "l"}}, false, true},
};

TEST_F(PanelTest, EditModeNeverLetsAPastedOrRunningToTheEndSegmentTakeOthersBytes) {
    const QString data = openWith(kLedger, countingBytes(1024));
    const QByteArray all = countingBytes(1024);
    // Counted when the structure met the file, before the ledger is shown.
    EXPECT_EQ(cell(2, 3), QStringLiteral("464"));
    EXPECT_EQ(seg(2).recordCount, 116);
    trigger("AcanEditType");
    ASSERT_TRUE(doc().viewSettings().canEditStructure());

    // Pasted before Readings, the copy of the ledger holds its 464 bytes and
    // stops there: it covers nothing.
    selectRow(2);
    find<QAction>("A_partCopy")->trigger();
    selectRow(1);
    find<QAction>("A_partPast")->trigger();
    ASSERT_EQ(rowNames(), (std::vector<std::string>{"Header", "Ledger", "Readings", "Ledger"}));
    EXPECT_FALSE(seg(1).toFilesEnd);
    EXPECT_EQ(seg(1).length, 464);
    EXPECT_FALSE(find<IndicatorLabel>("LIsOverLay")->isEnabled());
    EXPECT_EQ(streamBytes(doc().dataStream()), all.left(32) + all.mid(560) + all.mid(32));

    // Deleting it asks first, naming the bytes; No keeps everything.
    selectRow(1);
    prompts.answers.push_back(Prompter::Answer::No);
    find<QAction>("A_partDel")->trigger();
    ASSERT_NE(prompts.last(), nullptr);
    EXPECT_EQ(prompts.last()->text, QStringLiteral("Delete bytes 32 to 495?"));
    EXPECT_EQ(rowNames().size(), 4u);
    prompts.answers.push_back(Prompter::Answer::Yes);
    find<QAction>("A_partDel")->trigger();
    EXPECT_EQ(streamBytes(doc().dataStream()), all);
    EXPECT_EQ(seg(2).begin, 560);

    // Pasted with no row selected, the copy goes after the end of the file,
    // where the ledger runs too: the ledger follows at once (not when it is
    // shown), the overlap lights, and edit mode goes off with the error
    // listed, as it would not come on with it.
    list()->clearSelection();
    QString explanation;
    prompts.modals.push_back([&](QDialog& d) {
        explanation = static_cast<TeditStructHint&>(d).explanation();
        return int(QDialog::Accepted);
    });
    find<QAction>("A_partPast")->trigger();
    EXPECT_EQ(seg(2).length, 928);
    EXPECT_EQ(cell(2, 3), QStringLiteral("928"));
    EXPECT_TRUE(find<IndicatorLabel>("LIsOverLay")->isEnabled());
    QTRY_VERIFY(!doc().viewSettings().canEditStructure());
    EXPECT_EQ(explanation, QStringLiteral("Has any error in structure setting, please fix the "
                                          "error then try again."));
    EXPECT_FALSE(act("AcanEditType")->isChecked());
    // Showing the ledger counts nothing new: the labels say the same.
    selectRow(2);
    EXPECT_EQ(seg(2).length, 928);
    EXPECT_TRUE(find<IndicatorLabel>("LIsOverLay")->isEnabled());
    EXPECT_EQ(window().recordPane()->mainGrid(&seg(2))->rowCount(), 233);
}

// Typing a begin passes through other numbers on the way; none of them may
// cut the length for good, and a segment past the end of the file shows so.
TEST_F(PanelTest, ABeginTypedPastTheEndOfTheFileLightsIsOverlyAndCutsNothingForGood) {
    openWith(kClean, countingBytes(100));
    trigger("AcanResetType");
    selectRow(2);
    auto* begin = find<QLineEdit>("segBegin");
    for (const char* typed : {"6", "60", "600"})
        begin->setText(QString::fromLatin1(typed));
    EXPECT_EQ(seg(2).length, 0);
    EXPECT_EQ(text("segLength"), QStringLiteral("0"));
    EXPECT_TRUE(find<IndicatorLabel>("LIsOver")->isEnabled());
    begin->setText(QStringLiteral("60"));
    EXPECT_EQ(seg(2).length, 40);
    EXPECT_EQ(text("recCount"), QStringLiteral("4"));
    EXPECT_FALSE(find<IndicatorLabel>("LIsOver")->isEnabled());
    // Once the user has left the editor the next typing starts from there.
    emit begin->editingFinished();
    begin->setText(QStringLiteral("90"));
    emit begin->editingFinished();
    begin->setText(QStringLiteral("60"));
    EXPECT_EQ(seg(2).length, 10);
}

// A structure read from a type file that describes more than the file holds:
// the labels say so before and after the segment is shown, and showing it
// changes nothing.
TEST_F(PanelTest, ShowingASegmentThatRunsPastTheEndChangesNeitherItNorTheLabels) {
    openWith({{"A", 0, 10, 60, {{7, 0, 4, "a"}}}, {"C", 60, 10, 300, {{7, 0, 4, "c"}}}},
             countingBytes(100));
    EXPECT_TRUE(find<IndicatorLabel>("LIsOver")->isEnabled());
    selectRow(1);
    EXPECT_EQ(seg(1).length, 300);
    EXPECT_EQ(cell(1, 3), QStringLiteral("300"));
    EXPECT_TRUE(find<IndicatorLabel>("LIsOver")->isEnabled());
    EXPECT_FALSE(doc().typeChanged());
    EXPECT_EQ(window().recordPane()->mainGrid(&seg(1))->rowCount(), 5); // 4 records
}

TEST_F(PanelTest, DropsReorderTheDescriptionsInResetModeOnly) {
    openWith(kClean, countingBytes(100));
    EXPECT_FALSE(panel().acceptsSegmentDrag(list()));
    trigger("AcanResetType");
    EXPECT_TRUE(panel().acceptsSegmentDrag(list()));
    EXPECT_FALSE(panel().acceptsSegmentDrag(find<QWidget>("segName")));
    selectRow(0);
    panel().LvPartDragDrop(-1); // below the last row
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"B", "C", "A"}));
    EXPECT_EQ(segmentNames(), rowNames());
    EXPECT_EQ(list()->currentItem(), list()->topLevelItem(0));
    selectRow(1);
    panel().LvPartDragDrop(1); // onto itself: before the next row
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"B", "C", "A"}));
    selectRow(2);
    panel().LvPartDragDrop(0);
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(seg(0).begin, 0); // no byte moved
    EXPECT_TRUE(doc().typeChanged());
}

TEST_F(PanelTest, LocatePositionPrefersTheCurrentSegmentAndReportsMisses) {
    openWith({{"Wide", 0, 10, 60, {{7, 0, 4, "w"}}}, {"Part", 20, 4, 20, {{7, 0, 4, "p"}}}},
             countingBytes(100));
    selectRow(1);
    window().locatePosition(25);
    EXPECT_EQ(doc().segments().current(), &seg(1));
    SegmentGrid* g = window().recordPane()->mainGrid(&seg(1));
    EXPECT_EQ(g->currentRow(), 2); // record 1
    EXPECT_EQ(g->currentColumn(), 1);
    window().locatePosition(15);
    EXPECT_EQ(doc().segments().current(), &seg(0));
    EXPECT_EQ(window().recordPane()->mainGrid(&seg(0))->currentRow(), 2);
    window().locatePosition(25); // Wide is current now and holds it too
    EXPECT_EQ(doc().segments().current(), &seg(0));

    window().locatePosition(70);
    EXPECT_EQ(window().statusText(),
              QStringLiteral("ERROR The position 70 this not defined any data in there!"));
    window().locatePosition(100);
    EXPECT_EQ(window().statusText(),
              QStringLiteral("ERROR The position 100is Lage Than the file's size!"));
    EXPECT_EQ(doc().segments().current(), &seg(0));
    window().locatePosition(5);
    EXPECT_EQ(window().statusText(), QString());
}

TEST_F(PanelTest, LabelsLightExactlyForTheirFindingsAndListThem) {
    // B overlaps A; C's fields overlap each other.
    openWith({{"A", 0, 4, 40, {{7, 0, 4, "a"}}},
              {"B", 36, 4, 24, {{7, 0, 4, "b"}}},
              {"C", 60, 8, 40, {{7, 0, 4, "c0"}, {7, 2, 6, "c1"}}}},
             countingBytes(100));
    auto lit = [this](const char* name) { return find<IndicatorLabel>(name)->isEnabled(); };
    EXPECT_TRUE(lit("LIsOverLay"));
    EXPECT_FALSE(lit("LIsOver"));
    EXPECT_FALSE(lit("LHasBlank"));
    EXPECT_FALSE(lit("LnotSort"));
    EXPECT_FALSE(lit("LIsOverLay1"));
    selectRow(2);
    EXPECT_TRUE(lit("LIsOverLay1"));
    EXPECT_FALSE(lit("LIsNotFit1"));
    selectRow(1);
    EXPECT_FALSE(lit("LIsOverLay1"));
    EXPECT_TRUE(lit("LIsOverLay")); // the segment map does not change with the selection

    QString explanation;
    int rows = 0;
    prompts.modals.push_back([&](QDialog& d) {
        auto& hint = static_cast<TeditStructHint&>(d);
        explanation = hint.explanation();
        rows = hint.segRowCount();
        return int(QDialog::Accepted);
    });
    QTest::mouseClick(find<IndicatorLabel>("LIsOverLay"), Qt::LeftButton);
    EXPECT_EQ(explanation, QStringLiteral("Has any error in structure setting."));
    EXPECT_EQ(rows, 2); // the overlap and C's summary row
    // A grey label takes no click.
    const auto before = prompts.records.size();
    QTest::mouseClick(find<IndicatorLabel>("LHasBlank"), Qt::LeftButton);
    EXPECT_EQ(prompts.records.size(), before);

    // The maps are worked out for the bars' widths, and again when they change.
    auto* bar = find<PositionBar>("cPosImg");
    EXPECT_EQ(bar->map().width, bar->width());
    const int oldWidth = bar->width();
    window().resizeDocks({window().controlDock()}, {400}, Qt::Horizontal);
    QTRY_VERIFY(bar->width() > oldWidth);
    QTRY_COMPARE(bar->map().width, bar->width());
    ASSERT_GE(bar->map().spans.size(), 2u);
    EXPECT_EQ(bar->map().spans[0].width, bar->width()); // the grey background
}

TEST_F(PanelTest, TheToggleButtonsHideTheListAndTheEditors) {
    panel();
    auto* group = find<QGroupBox>("lvPartGB");
    find<QToolButton>("lvPartSB")->click();
    EXPECT_EQ(group->maximumHeight(), 1);
    bool segList = true;
    bool typeCtrl = false;
    panel().readPanelSettings(segList, typeCtrl);
    EXPECT_FALSE(segList);
    EXPECT_TRUE(typeCtrl);
    find<QToolButton>("typeCtrlSB")->click();
    EXPECT_FALSE(find<QGroupBox>("typeCtrlGB")->isVisible());
    find<QToolButton>("lvPartSB")->click();
    EXPECT_GT(group->maximumHeight(), 1);
    EXPECT_TRUE(find<QToolButton>("lvPartSB")->isChecked());
    EXPECT_FALSE(find<QToolButton>("typeCtrlSB")->isChecked());
    // Taken from the settings at start.
    panel().applyPanelSettings(false, true);
    EXPECT_FALSE(find<QToolButton>("lvPartSB")->isChecked());
    EXPECT_TRUE(find<QGroupBox>("typeCtrlGB")->isVisible());
}

} // namespace
