#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QToolButton>

#include "appfixture.h"
#include "recordcommands.h"
#include "recordpane.h"
#include "segmentgrid.h"
#include "textoutputcommand.h"

namespace {

// Opening a file while its working copy is filled on another thread. A hook
// holds the fill before its first byte, so whatever the views show then can
// only have come from the data file itself.
class WorkingCopyTest : public AppTest {
protected:
    static constexpr int kRecord = 10;
    static constexpr int kRecords = 20000; // 200,000 bytes: past the 64 KiB limit below

    QString data;
    QByteArray bytes;
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};

    void SetUp() override {
        AppTest::SetUp();
        bytes = countingBytes(kRecord * kRecords);
        data = dir + QStringLiteral("big.bin");
        writeFile(data, bytes);
        writeType(data + QStringLiteral(".type"),
                  {{"Rec", 0, kRecord, kRecord * kRecords, {{6, 0, 2, "w"}, {1, 9, 1, "b"}}}});
        vm::setWorkingFileFillHook([this](double fraction, const std::atomic<bool>& stopping) {
            if (fraction > 0)
                return;
            held = true;
            while (!release && !stopping)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        window();
    }
    void TearDown() override {
        release = true;
        AppTest::TearDown();
        vm::setWorkingFileFillHook({});
    }

    // Opens data and waits until its copy is held before the first byte.
    void openHeld() {
        held = false;
        release = false;
        prompts.fileNames.push_back(data);
        trigger("AopenFile");
        ASSERT_TRUE(QTest::qWaitFor([this] { return held.load(); }));
        ASSERT_TRUE(doc().copying());
    }
    QStringList workingFiles() const {
        return QDir(tempDir).entryList(QStringList{QStringLiteral("~qzt*")}, QDir::Files);
    }
    SegmentGrid* grid() {
        vm::Segment* seg = doc().segments().current();
        return seg ? window().recordPane()->mainGrid(seg) : nullptr;
    }
    // The 2-byte field of record r as the counting bytes make it.
    static QString word(int r) {
        const int lo = (r * kRecord) & 0xFF;
        const int hi = (r * kRecord + 1) & 0xFF;
        return QString::number(lo | hi << 8);
    }
};

TEST_F(WorkingCopyTest, TheGridReadsTheDataFileUntilTheCopyTakesOver) {
    openHeld();
    // The working file is there under its name, locked and still empty.
    const QString working = doc().workingFileName();
    EXPECT_EQ(workingFiles(), QStringList{QFileInfo(working).fileName()});
    EXPECT_EQ(QFileInfo(working).size(), 0);
    EXPECT_TRUE(vm::isFileInUse(toNative(working)));

    SegmentGrid* g = grid();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->rowCount(), kRecords + 1);
    for (int r : {0, 1, 25, kRecords - 1}) {
        EXPECT_EQ(g->cellText(1, r + 1), word(r)) << r;
        EXPECT_EQ(g->cellText(2, r + 1), QString::number((r * kRecord + 9) & 0xFF)) << r;
    }
    EXPECT_EQ(doc().dataSize(), bytes.size());
    EXPECT_TRUE(window().findChild<QProgressBar*>(QStringLiteral("copyProgress"))->isVisible());
    EXPECT_FALSE(files().recentFiles().contains(data));

    // The stream the views hold stays the one they read once the copy is in.
    const vm::FileStream* stream = doc().dataStream();
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([this] { return !doc().copying(); }));
    EXPECT_EQ(doc().dataStream(), stream);
    EXPECT_EQ(fromNative(stream->path()), working);
    EXPECT_EQ(readFile(working), bytes);
    EXPECT_EQ(g->cellText(1, kRecords), word(kRecords - 1));
    EXPECT_FALSE(window().findChild<QProgressBar*>(QStringLiteral("copyProgress"))->isVisible());
    EXPECT_TRUE(act("AsaveAs")->isEnabled());
    EXPECT_TRUE(act("AcanEditType")->isEnabled());
    EXPECT_TRUE(files().recentFiles().contains(data));
    EXPECT_TRUE(prompts.messageTexts().isEmpty()) << prompts.messageTexts().join('|').toStdString();
}

TEST_F(WorkingCopyTest, EditsWaitForTheCopyAndSayWhyOnTheStatusLine) {
    openHeld();
    const QString working = doc().workingFileName();
    for (const char* name : {"AcanEditType", "AcanResetType"})
        EXPECT_FALSE(act(name)->isEnabled()) << name;
    trigger("AcanEditType");
    EXPECT_FALSE(doc().viewSettings().canEditStructure());
    const QString waits = QStringLiteral("The working copy of big.bin") +
                          QStringLiteral(" is 0 % made: changes wait until it is complete");

    // "Can Edit Data" came on with the type file, yet no cell opens for
    // typing: a key says why instead of doing nothing.
    SegmentGrid* g = grid();
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(doc().viewSettings().canEditData());
    g->selectCell(1, 1);
    g->setFocus();
    QTest::keyClick(g, Qt::Key_7);
    EXPECT_EQ(g->cellEditor(), nullptr);
    EXPECT_EQ(window().statusMessage(), waits);

    // The saves and the commands behind the dialogs refuse, and say why
    // there too: no message box, no file dialog.
    window().findChild<QLabel*>(QStringLiteral("statusMessage"))->clear();
    vm::Segment* seg = doc().segments().current();
    QString error;
    EXPECT_FALSE(doc().rewrite(
        QStringLiteral("Add Record"), {},
        [](vm::WorkingFile&, vm::SegmentList&, const vm::Progress&) {
            return Document::RewriteResult{};
        },
        &error));
    EXPECT_EQ(error, waits);
    error.clear();
    EXPECT_FALSE(cutBlankInDocument(doc(), &window(), &error));
    EXPECT_EQ(error, waits);
    prompts.records.clear();
    const QByteArray typeBytes = readFile(data + QStringLiteral(".type"));
    doc().setTypeChanged(true);
    EXPECT_TRUE(act("AsaveAll")->isEnabled());
    trigger("AsaveAll");
    EXPECT_EQ(window().statusMessage(), waits);
    trigger("AsaveAs");
    EXPECT_TRUE(prompts.records.empty());

    EXPECT_EQ(readFile(data), bytes);
    EXPECT_EQ(readFile(data + QStringLiteral(".type")), typeBytes);
    EXPECT_EQ(workingFiles(), QStringList{QFileInfo(working).fileName()});
    EXPECT_EQ(QFileInfo(working).size(), 0);
    EXPECT_EQ(seg->recordCount, kRecords);
    EXPECT_FALSE(doc().dataChanged());

    release = true;
    ASSERT_TRUE(QTest::qWaitFor([this] { return !doc().copying(); }));
    EXPECT_EQ(window().statusMessage(), QString()); // out of date now
    EXPECT_TRUE(g->openEditor());
}

TEST_F(WorkingCopyTest, CancellingTheCopyKeepsTheFileShownReadOnlyUntilItIsMadeAgain) {
    // Cancel on the status line is the user's choice, not a failure: the
    // file stays shown from the original, nothing can change it, and the
    // File menu offers the copy again.
    openHeld();
    doc().setCanEditData(true);
    prompts.records.clear();
    QTest::mouseClick(window().findChild<QToolButton*>(QStringLiteral("copyCancel")),
                      Qt::LeftButton);
    EXPECT_TRUE(prompts.records.empty());
    EXPECT_TRUE(doc().isOpen());
    EXPECT_TRUE(doc().copyCancelled());
    EXPECT_TRUE(workingFiles().isEmpty());
    SegmentGrid* g = grid();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->cellText(1, kRecords), word(kRecords - 1));
    const QString readOnly = QStringLiteral("big.bin is read-only because its working copy was "
                                            "cancelled; \"Make Working Copy\" in the File "
                                            "menu makes it again");
    EXPECT_EQ(window().statusMessage(), readOnly);
    auto* label = window().findChild<QLabel*>(QStringLiteral("copyLabel"));
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), QStringLiteral("Read-only"));

    window().findChild<QLabel*>(QStringLiteral("statusMessage"))->clear();
    g->selectCell(1, 1);
    g->setFocus();
    QTest::keyClick(g, Qt::Key_7);
    EXPECT_EQ(g->cellEditor(), nullptr);
    EXPECT_EQ(window().statusMessage(), readOnly);
    std::string why;
    EXPECT_FALSE(doc().writeData(0, std::vector<std::uint8_t>{7}, &why));
    EXPECT_EQ(QString::fromStdString(why), readOnly);
    EXPECT_FALSE(act("AcanEditType")->isEnabled());
    EXPECT_EQ(readFile(data), bytes);

    // A structure changed meanwhile is still asked about before the
    // document goes; here the copy is made again instead.
    QAction* remake = act("AmakeWorkingCopy");
    ASSERT_TRUE(remake->isVisible() && remake->isEnabled());
    held = false;
    remake->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return held.load(); }));
    EXPECT_FALSE(doc().copyCancelled());
    EXPECT_FALSE(remake->isVisible());
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([this] { return !doc().copying(); }));
    EXPECT_TRUE(doc().canWriteData());
    EXPECT_FALSE(label->isVisible());
    EXPECT_EQ(readFile(doc().workingFileName()), bytes);
    EXPECT_TRUE(files().recentFiles().contains(data));
    EXPECT_TRUE(g->openEditor());

    // "Close All" and the end of the program stop a copy being made, and
    // leave no half copy behind; a structure changed while the file was
    // read-only is still asked about.
    openHeld();
    const QString half = QFileInfo(doc().workingFileName()).fileName();
    trigger("AcloseAll");
    EXPECT_FALSE(doc().isOpen());
    EXPECT_FALSE(workingFiles().contains(half));
    openHeld();
    QTest::mouseClick(window().findChild<QToolButton*>(QStringLiteral("copyCancel")),
                      Qt::LeftButton);
    doc().setTypeChanged(true);
    prompts.records.clear();
    prompts.answers = {Prompter::Answer::No};
    EXPECT_TRUE(window().close());
    EXPECT_EQ(prompts.messageTexts(),
              QStringList{QStringLiteral(" Do You Want Save The TypeFile to  ") + data +
                          QStringLiteral(".type ?")});
    EXPECT_FALSE(workingFiles().contains(half));
    EXPECT_EQ(readFile(data), bytes);
}

TEST_F(WorkingCopyTest, AFileWrittenDuringTheCopyIsCopiedAgainAndSavedOverWithoutAQuestion) {
    // Held once the first pass has copied every byte, before it compares.
    auto passes = std::make_shared<std::atomic<int>>(0);
    vm::setWorkingFileFillHook([this, passes](double fraction, const std::atomic<bool>& stopping) {
        if (fraction < 1 || (*passes)++ > 0)
            return;
        held = true;
        while (!release && !stopping)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    prompts.fileNames.push_back(data);
    trigger("AopenFile");
    ASSERT_TRUE(QTest::qWaitFor([this] { return held.load(); }));
    // Another program writes the file (same size) meanwhile.
    QByteArray changed = bytes;
    changed[0] = '\x55';
    writeFile(data, changed);
    QFile f(data);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    f.close();
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([this] { return !doc().copying(); }));
    EXPECT_EQ(passes->load(), 2);
    EXPECT_EQ(readFile(doc().workingFileName()), changed);
    EXPECT_EQ(grid()->cellText(1, 1), QString::number(0x55 | 1 << 8));
    EXPECT_TRUE(window().statusMessage().startsWith(
        QStringLiteral("big.bin was changed by another program while its working copy was made")));

    // The copy holds what the other program wrote: saving over it asks nothing.
    std::string why;
    ASSERT_TRUE(doc().writeData(9, std::vector<std::uint8_t>{0xAB}, &why)) << why;
    trigger("AsaveData");
    EXPECT_TRUE(prompts.messageTexts().isEmpty()) << prompts.messageTexts().join('|').toStdString();
    changed[9] = '\xAB';
    EXPECT_EQ(readFile(data), changed);
}

#ifndef _WIN32
// A temporary folder that fills up part-way through the copy, made in a child
// process whose files may not grow past 64 KiB. The child reports by its exit
// code what it saw.
TEST_F(WorkingCopyTest, ACopyFailingPartWayLeavesTheProgramAsAFailedOpen) {
    enum : int { StillOpen = 1, NoReason = 2, CopyLeft = 4, NeverEnded = 8 };
    release = true;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit lim{64 * 1024, 64 * 1024};
        if (::setrlimit(RLIMIT_FSIZE, &lim) != 0)
            ::_exit(99);
        prompts.fileNames.push_back(data);
        trigger("AopenFile");
        // Only the document's own events: painting needs Qt's helper threads,
        // which a forked child does not have.
        QDeadlineTimer deadline(10000);
        while (doc().copying() && !deadline.hasExpired()) {
            QCoreApplication::sendPostedEvents(&doc());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        int code = doc().copying() ? NeverEnded : 0;
        if (doc().isOpen() || doc().dataStream() || !doc().segments().empty())
            code |= StillOpen;
        const QString prefix = QStringLiteral("File  ") + data + QStringLiteral(" Open Error\n");
        const QStringList texts = prompts.messageTexts();
        if (texts.size() != 1 || !texts[0].startsWith(prefix) || texts[0].size() <= prefix.size())
            code |= NoReason;
        if (!workingFiles().isEmpty())
            code |= CopyLeft;
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(data), bytes);
}
#endif

} // namespace
