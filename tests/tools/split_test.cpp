#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include "split/splitwindow.h"
#include "toolsfixture.h"
#include "updownbuttons.h"

namespace {

QByteArray counting(int n) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>(i);
    return b;
}

class SplitTest : public ToolsTest {
protected:
    Tsplit* split() { return child<Tsplit>("Tsplit"); }
    void addPiece(int begin, int end) {
        child<QPushButton>("Badd")->click();
        type("Estart", QString::number(begin));
        type("Eend", QString::number(end));
    }
    QStringList row(int i) {
        QTreeWidgetItem* item = child<QTreeWidget>("lv")->topLevelItem(i);
        QStringList out;
        for (int c = 0; item && c < 5; ++c)
            out << item->text(c);
        return out;
    }
    void click(const char* name) { child<QPushButton>(name)->click(); }
    // A 100-byte source and the name of a target beside it.
    QString source() {
        const QString src = dir + "src.bin";
        writeFile(src, counting(100));
        type("esFilename", src);
        return src;
    }
};

} // namespace

TEST_F(SplitTest, PiecesListMemosTargetLengthAndTheCopyByteForByte) {
    tools();
    EXPECT_FALSE(child<QPushButton>("Badd")->isEnabled()); // no source yet
    const QString src = source();
    EXPECT_EQ(text("EsLength"), "100");
    EXPECT_FALSE(child<QPushButton>("Bsplit")->isEnabled()); // no pieces, no target
    addPiece(10, 20);
    addPiece(50, 60);
    EXPECT_EQ(text("EtLength"), "20");
    addPiece(80, 120);
    EXPECT_EQ(row(2), (QStringList{"2", "80", "120", "40", "end biger than sourse"}));
    EXPECT_EQ(text("EtLength"), "40");
    addPiece(30, 20);
    EXPECT_EQ(row(3), (QStringList{"3", "30", "20", "-10", "start min than end"}));
    EXPECT_EQ(text("EtLength"), "40");
    // Length moves the end; a negative begin is refused.
    type("ELength", "$5");
    EXPECT_EQ(text("ELength"), "5");
    EXPECT_EQ(row(3)[2], "35");
    type("Estart", "-7");
    EXPECT_EQ(row(3)[1], "30");

    const QString dst = dir + "dst.bin";
    type("etFilename", dst);
    ASSERT_TRUE(child<QPushButton>("Bsplit")->isEnabled());
    click("Bsplit");
    const QByteArray all = counting(100);
    EXPECT_EQ(readFile(dst), all.mid(10, 10) + all.mid(50, 10) + all.mid(80, 20) + all.mid(30, 5));
    EXPECT_TRUE(prompts.records.empty());

    // An existing target: No keeps it, Yes replaces it; appending asks nothing.
    child<QTreeWidget>("lv")->setCurrentItem(child<QTreeWidget>("lv")->topLevelItem(0));
    for (int i = 0; i < 3; ++i)
        click("Bdel");
    EXPECT_EQ(row(0), (QStringList{"0", "30", "35", "5", ""}));
    prompts.answers.push_back(Prompter::Answer::No);
    click("Bsplit");
    ASSERT_EQ(prompts.records.size(), 1u);
    EXPECT_EQ(prompts.records[0].title, "Warning ");
    EXPECT_EQ(prompts.records[0].text, "Are You Sure  " + dst + "  is exit replace it ?");
    EXPECT_EQ(readFile(dst).size(), 45);
    prompts.answers.push_back(Prompter::Answer::Yes);
    click("Bsplit");
    EXPECT_EQ(readFile(dst), all.mid(30, 5));
    child<QCheckBox>("append")->setChecked(true);
    click("Bsplit");
    EXPECT_EQ(readFile(dst), all.mid(30, 5) + all.mid(30, 5));
    EXPECT_EQ(prompts.records.size(), 2u);

    // The source as target is refused before anything is written.
    type("etFilename", src);
    click("Bsplit");
    ASSERT_EQ(prompts.records.size(), 3u);
    EXPECT_TRUE(prompts.records.back().text.contains("same file"));
    EXPECT_EQ(readFile(src), all);
}

TEST_F(SplitTest, OverlapAndSelectionAreDrawnOnTheStrips) {
    tools();
    source();
    addPiece(0, 50);
    addPiece(40, 90);
    const QImage& s = split()->sourceStrip();
    const QRgb blue = qRgb(0, 0, 255), overlap = qRgb(184, 152, 27), red = qRgb(255, 0, 0);
    EXPECT_EQ(s.pixel(60, 2), blue);
    EXPECT_EQ(s.pixel(130, 2), overlap);
    EXPECT_EQ(s.pixel(149, 2), overlap);
    EXPECT_EQ(s.pixel(150, 2), blue);
    EXPECT_EQ(s.pixel(280, 2), qRgb(160, 160, 164));
    // The selected second piece is outlined in both strips.
    EXPECT_EQ(s.pixel(120, 2), red);
    EXPECT_EQ(s.pixel(270, 2), red);
    EXPECT_EQ(s.pixel(200, 0), red);
    const QImage& t = split()->targetStrip();
    EXPECT_EQ(t.pixel(150, 2), red); // 50 of 100 bytes in
    EXPECT_EQ(t.pixel(299, 2), red);
    EXPECT_EQ(t.pixel(100, 2), blue);
}

TEST_F(SplitTest, TheArrowsNeverGoBelowOne) {
    tools();
    source();
    addPiece(1, 5);
    auto* arrows = child<UpDownButtons>("UDstart");
    arrows->downButton()->click();
    EXPECT_EQ(text("Estart"), "1");
    arrows->upButton()->click();
    EXPECT_EQ(text("Estart"), "2");
    EXPECT_EQ(text("ELength"), "3");
    child<UpDownButtons>("UdLength")->upButton()->click();
    EXPECT_EQ(text("Eend"), "6");
}

TEST_F(SplitTest, TheOpenDataFileAsTargetGetsTheWorkingCopyChanged) {
    const QByteArray bytes = counting(64);
    const QString data = openWords(bytes);
    ASSERT_TRUE(doc().dataStream());
    prompts.clear();
    prompts.modals.push_back([&](QDialog&) {
        EXPECT_EQ(text("esFilename"), data);
        EXPECT_EQ(text("etFilename"), data);
        addPiece(8, 16);
        addPiece(0, 4);
        click("Bsplit");
        return int(QDialog::Accepted);
    });
    trigger("AsplitFile");
    EXPECT_EQ(prompts.unanswered, 0);
    // No replace question; the file on disk waits for a save.
    EXPECT_EQ(prompts.records.size(), 1u);
    EXPECT_EQ(streamBytes(doc().dataStream()), bytes.mid(8, 8) + bytes.mid(0, 4));
    EXPECT_EQ(readFile(data), bytes);
    EXPECT_TRUE(doc().dataChanged());
    EXPECT_TRUE(act("AsaveData")->isEnabled());
    // The source read the working copy as it stands now.
    EXPECT_EQ(text("EsLength"), "12");
}

TEST_F(SplitTest, EnterInANumberBoxCommitsTheBoxAndNeverSplitsTheOpenFile) {
    const QByteArray bytes = counting(64);
    openWords(bytes);
    prompts.clear();
    prompts.modals.push_back([&](QDialog& d) {
        // Shown, as the user has it: Enter in a dialog presses its default button.
        d.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
        addPiece(8, 16);
        auto* begin = child<QLineEdit>("Estart");
        begin->setFocus();
        QTest::keyClick(begin, Qt::Key_Return);
        // A begin before the file's start is not taken, and the box says so
        // until Enter shows what the piece holds again.
        type("Estart", "-5");
        EXPECT_EQ(row(0)[1], "8");
        EXPECT_TRUE(text("Lnote").startsWith("Begin stays 8")) << text("Lnote").toStdString();
        QTest::keyClick(begin, Qt::Key_Return);
        EXPECT_EQ(text("Estart"), "8");
        EXPECT_EQ(text("Lnote"), "");
        QTest::keyClick(child<QLineEdit>("ELength"), Qt::Key_Enter);
        d.hide();
        return int(QDialog::Accepted);
    });
    trigger("AsplitFile");
    EXPECT_EQ(prompts.unanswered, 0);
    EXPECT_EQ(streamBytes(doc().dataStream()), bytes);
    EXPECT_FALSE(doc().dataChanged());
}
