#include <QAction>
#include <QLabel>

#include "compare/comparewindow.h"
#include "segmentgrid.h"
#include "toolsfixture.h"

namespace {

class CompareTest : public ToolsTest {
protected:
    Tcompf* compare() { return set().compareWindow(); }
    QTreeView* results() { return child<QTreeView>(compare(), "lv"); }
    QPushButton* compareButton() { return child<QPushButton>(compare(), "Bcompare"); }
    QString resultCount() { return child<QLineEdit>(compare(), "EresultCount")->text(); }

    QString otherFile(const QByteArray& bytes) {
        const QString path = dir + QStringLiteral("other.bin");
        writeFile(path, bytes);
        return path;
    }
    // "Show Comp Window": the file dialog answers with path, and the compare runs.
    void showAndCompare(const QString& path) {
        prompts.fileNames.push_back(path);
        trigger("showComp");
        QTRY_VERIFY(!compare()->comparing());
    }
};

} // namespace

TEST_F(CompareTest, DifferencesAreListedCountedAndMarkedSideBySide) {
    openData(QByteArray("\x0A\x01\x02\x03", 4));
    showAndCompare(otherFile(QByteArray("\xFF\x01\x09", 3)));
    EXPECT_EQ(child<QLineEdit>(compare(), "EfName")->text(), dir + "other.bin");
    EXPECT_EQ(resultCount(), "3");
    const auto r = rows(results());
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0], (QStringList{"1", "A", "FF", "0"}));
    EXPECT_EQ(r[1], (QStringList{"2", "2", "9", "2"}));
    // Past the end of the shorter compare file the target is empty.
    EXPECT_EQ(r[2], (QStringList{"3", "3", "", "3"}));
    EXPECT_TRUE(compareButton()->isEnabled());

    // Compare mode: the compare pane shows the compare file's values.
    EXPECT_EQ(pane()->bottomPanel(), RecordPane::BottomPanel::Compare);
    EXPECT_TRUE(pane()->compareArea()->isVisible());
    vm::Segment* seg = &doc().segments()[0];
    SegmentGrid* cg = pane()->compareGrid(seg);
    ASSERT_TRUE(cg && cg->isVisible());
    EXPECT_EQ(cg->cellText(1, 1), "255");
    EXPECT_EQ(pane()->mainGrid(seg)->cellText(1, 1), "10");
    // Each byte has a quarter of the map, to its right end: only byte 1 is the same.
    const int w = pane()->findMapStrip()->width() - 32;
    const QRgb hit = RecordPane::hitColour().rgb() & 0xFFFFFF;
    for (int quarter = 0; quarter < 4; ++quarter)
        EXPECT_EQ(mapColours(10, 16 + w * (2 * quarter + 1) / 8, 17 + w * (2 * quarter + 1) / 8),
                  QSet<QRgb>{quarter == 1 ? qRgb(0, 0, 255) & 0xFFFFFF : hit})
            << quarter;

    compare()->lvDblClick(1);
    EXPECT_EQ(located, (std::vector<std::int64_t>{2}));

    // A maximum of 1 lists nothing and still counts; the compare pane keeps
    // its half of the pane however often the compare runs.
    const int paneWidth = pane()->compareArea()->width();
    child<QLineEdit>(compare(), "EmaxResult")->setText(QStringLiteral("1"));
    compareButton()->click();
    QTRY_VERIFY(!compare()->comparing());
    EXPECT_TRUE(rows(results()).empty());
    EXPECT_EQ(resultCount(), "3");
    EXPECT_NEAR(pane()->compareArea()->width(), paneWidth, 1);

    // Closing leaves compare mode; the compare file stays open.
    compare()->close();
    EXPECT_FALSE(act("showComp")->isChecked());
    EXPECT_EQ(pane()->bottomPanel(), RecordPane::BottomPanel::Normal);
    EXPECT_FALSE(pane()->compareArea()->isVisible());
    EXPECT_NE(compare()->compareFile(), nullptr);
}

TEST_F(CompareTest, IdenticalFilesShowNoDifferenceAndABlueMap) {
    const QByteArray bytes(5000, '\x42');
    openData(bytes);
    showAndCompare(otherFile(bytes));
    EXPECT_EQ(resultCount(), "0");
    EXPECT_TRUE(rows(results()).empty());
    const int right = pane()->findMapStrip()->width() - 16;
    EXPECT_EQ(mapColours(10, 16, right), QSet<QRgb>{qRgb(0, 0, 255) & 0xFFFFFF});
}

TEST_F(CompareTest, AMissingOrUnreadableFileIsReported) {
    openData(QByteArray(16, '\1'));
    const QString missing = dir + QStringLiteral("missing.bin");
    showAndCompare(missing);
    EXPECT_EQ(prompts.messageTexts().last(), "File " + missing + " Is Not Exit");
    EXPECT_EQ(compare()->compareFile(), nullptr);

    // A folder cannot be compared: the window closes and compare mode ends.
    const QString folder = dir + QStringLiteral("folder");
    QDir().mkpath(folder);
    child<QLineEdit>(compare(), "EfName")->setText(folder);
    compareButton()->click();
    EXPECT_EQ(prompts.messageTexts().last(), "Can Not Open File " + folder);
    EXPECT_FALSE(compare()->isVisible());
    EXPECT_FALSE(act("showComp")->isChecked());
    EXPECT_EQ(pane()->bottomPanel(), RecordPane::BottomPanel::Normal);
    EXPECT_EQ(compare()->compareFile(), nullptr);
}

TEST_F(CompareTest, ClosingDuringARunStopsIt) {
    // Large sparse files, different from the first byte on: many slices.
    openData(QByteArray(1, '\0'));
    const QString other = otherFile(QByteArray(1, '\1'));
    for (const QString& path : {doc().workingFileName(), other}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.resize(std::int64_t{512} << 20));
    }
    prompts.fileNames.push_back(other);
    trigger("showComp");
    QTRY_VERIFY(resultCount().toLongLong() > 0);
    ASSERT_TRUE(compare()->comparing());
    trigger("showComp"); // unchecked: the window closes
    EXPECT_FALSE(compare()->comparing());
    EXPECT_TRUE(compareButton()->isEnabled());
    EXPECT_EQ(pane()->bottomPanel(), RecordPane::BottomPanel::Normal);
}

TEST_F(CompareTest, ARunCutShortSaysWhereAndAClosedDocumentTakesItsResultsAlong) {
    // Large sparse files, different from the first byte on: many slices.
    openData(QByteArray(1, '\0'));
    const QString other = otherFile(QByteArray(1, '\1'));
    const std::int64_t size = std::int64_t{1} << 30;
    for (const QString& path : {doc().workingFileName(), other}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.resize(size));
    }
    QLabel* note = child<QLabel>(compare(), "runNote");
    QLineEdit* name = child<QLineEdit>(compare(), "EfName");
    prompts.fileNames.push_back(other);
    trigger("showComp");
    QTRY_VERIFY(resultCount().toLongLong() > 0);
    ASSERT_TRUE(compare()->comparing());
    EXPECT_EQ(note->text(), "");
    // Esc in the window stops the run; Enter starts another.
    QTest::keyClick(name, Qt::Key_Escape);
    EXPECT_FALSE(compare()->comparing());
    ASSERT_TRUE(note->text().startsWith("stopped at offset ")) << note->text().toStdString();
    const std::int64_t at = note->text().mid(18).toLongLong();
    EXPECT_GT(at, 0);
    EXPECT_LT(at, size);

    // The data shrinks under a run: the compare ends where it could read no more.
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_TRUE(compare()->comparing());
    EXPECT_EQ(note->text(), "");
    {
        QFile f(doc().workingFileName());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.resize(4096));
    }
    QTRY_VERIFY(!compare()->comparing());
    EXPECT_TRUE(note->text().startsWith("read error at ")) << note->text().toStdString();

    // Closing the document clears what was found in it and leaves compare mode.
    trigger("AcloseAll");
    EXPECT_TRUE(rows(results()).empty());
    EXPECT_EQ(resultCount(), "0");
    EXPECT_EQ(note->text(), "");
    EXPECT_EQ(pane()->bottomPanel(), RecordPane::BottomPanel::Normal);
    EXPECT_EQ(compare()->compareFile(), nullptr);
}
