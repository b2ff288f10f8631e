#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDeadlineTimer>
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

TEST_F(WorkingCopyTest, EditsWaitForTheCopyAndTouchNoFile) {
    openHeld();
    const QString working = doc().workingFileName();
    for (const char* name : {"AsaveData", "AsaveAs", "AsaveAll", "AcanEditType", "AcanResetType"})
        EXPECT_FALSE(act(name)->isEnabled()) << name;
    trigger("AcanEditType");
    EXPECT_FALSE(doc().viewSettings().canEditStructure());

    // "Can Edit Data" came on with the type file, yet no cell opens for typing.
    SegmentGrid* g = grid();
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(doc().viewSettings().canEditData());
    g->selectCell(1, 1);
    EXPECT_FALSE(g->openEditor());

    // The commands behind the dialogs refuse, and say why.
    vm::Segment* seg = doc().segments().current();
    QString error;
    EXPECT_FALSE(doc().rewrite(
        QStringLiteral("Add Record"), {},
        [](vm::WorkingFile&, vm::SegmentList&, const vm::Progress&) {
            return Document::RewriteResult{};
        },
        &error));
    EXPECT_EQ(error, doc().copyRunningText());
    error.clear();
    EXPECT_FALSE(cutBlankInDocument(doc(), &window(), &error));
    EXPECT_EQ(error, doc().copyRunningText());
    prompts.records.clear();
    files().saveAllCommand();
    files().saveAsCommand();
    EXPECT_EQ(prompts.records.size(), 2u); // no file dialog either
    EXPECT_EQ(prompts.messageTexts(),
              (QStringList{doc().copyRunningText(), doc().copyRunningText()}));

    EXPECT_EQ(readFile(data), bytes);
    EXPECT_EQ(workingFiles(), QStringList{QFileInfo(working).fileName()});
    EXPECT_EQ(QFileInfo(working).size(), 0);
    EXPECT_EQ(seg->recordCount, kRecords);
    EXPECT_FALSE(doc().dataChanged());

    release = true;
    ASSERT_TRUE(QTest::qWaitFor([this] { return !doc().copying(); }));
    EXPECT_TRUE(g->openEditor());
}

TEST_F(WorkingCopyTest, StoppingMidCopyLeavesNoDocumentAndNoHalfCopy) {
    // Cancel on the status line: the document closes as a failed open does;
    // the structure changed meanwhile is offered for saving first.
    openHeld();
    doc().setTypeChanged(true);
    prompts.answers = {Prompter::Answer::Yes};
    QTest::mouseClick(window().findChild<QToolButton*>(QStringLiteral("copyCancel")),
                      Qt::LeftButton);
    EXPECT_FALSE(doc().isOpen());
    EXPECT_EQ(doc().dataStream(), nullptr);
    EXPECT_TRUE(doc().segments().empty());
    EXPECT_TRUE(workingFiles().isEmpty());
    EXPECT_EQ(readFile(data), bytes);
    EXPECT_FALSE(files().recentFiles().contains(data));
    ASSERT_EQ(prompts.messageTexts().size(), 2);
    EXPECT_EQ(prompts.messageTexts().at(0), QStringLiteral(" Do You Want Save The TypeFile to  ") +
                                                data + QStringLiteral(".type ?"));
    EXPECT_EQ(prompts.messageTexts().at(1),
              QStringLiteral("File  ") + data + QStringLiteral(" Open Error\nStopped by the user"));
    EXPECT_FALSE(act("AcloseAll")->isEnabled());

    // "Close All" and the end of the program stop the copy just as well.
    openHeld();
    trigger("AcloseAll");
    EXPECT_FALSE(doc().isOpen());
    EXPECT_TRUE(workingFiles().isEmpty());
    openHeld();
    EXPECT_TRUE(window().close());
    EXPECT_TRUE(workingFiles().isEmpty());
    EXPECT_EQ(readFile(data), bytes);
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
