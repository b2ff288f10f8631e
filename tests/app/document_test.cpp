#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>

#include "appfixture.h"
#include "filestream.h"
#include "progresswindow.h"
#include "paircommit.h"
#include "recordpane.h"
#include "segmentgrid.h"

namespace {

const QByteArray kBytes = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10");

class DocumentTest : public AppTest {
protected:
    // a.bin with a.bin.type (segment "Beside"), and a default type (segment "Default").
    QString makeData(const QString& name, const QByteArray& bytes = kBytes) {
        const QString path = dir + name;
        writeFile(path, bytes);
        return path;
    }
    void makeDefaultType() {
        writeType(installDir + QStringLiteral("default.type"),
                  {{"Default", 0, 4, 16, {{7, 0, 4, "whole"}}}});
    }
};

TEST_F(DocumentTest, OpenUsesTheTypeFileBesideTheDataFile) {
    const QString data = makeData(QStringLiteral("a.bin"));
    writeType(data + QStringLiteral(".type"),
              {{"Beside", 0, 2, 16, {{0, 0, 1, "lo"}, {0, 1, 1, "hi"}}}});
    makeDefaultType();
    openThroughDialog(data);

    EXPECT_EQ(doc().dataFileName(), data);
    EXPECT_EQ(doc().typeFileName(), data + QStringLiteral(".type"));
    EXPECT_EQ(segmentNames(), std::vector<std::string>{"Beside"});
    EXPECT_EQ(shownTitle(), QStringLiteral("Vellomarque-") + data + QStringLiteral(" Use ") + data +
                                QStringLiteral(".type"));
    EXPECT_EQ(files().recentFiles(), QStringList{data});
    EXPECT_EQ(files().recentTypes(), QStringList{data + QStringLiteral(".type")});
    // The working copy is a byte copy in the temporary folder, held locked.
    EXPECT_TRUE(doc().workingFileName().startsWith(tempDir + QStringLiteral("~qzt")));
    EXPECT_EQ(streamBytes(doc().dataStream()), kBytes);
    EXPECT_TRUE(vm::isFileInUse(toNative(doc().workingFileName())));
    EXPECT_TRUE(prompts.messageTexts().isEmpty()) << prompts.messageTexts().join('|').toStdString();
}

TEST_F(DocumentTest, OpenFallsBackToTheDefaultTypeFile) {
    const QString data = makeData(QStringLiteral("a.bin"));
    makeDefaultType();
    openThroughDialog(data);
    EXPECT_EQ(segmentNames(), std::vector<std::string>{"Default"});
    EXPECT_EQ(shownTitle(),
              QStringLiteral("Vellomarque-") + data + QStringLiteral("  Use default type"));
}

TEST_F(DocumentTest, OpenWithoutAnyTypeFileKeepsThePreviousStructure) {
    const QString a = makeData(QStringLiteral("a.bin"));
    writeType(a + QStringLiteral(".type"), {{"Kept", 0, 2, 16, {{0, 0, 1, "lo"}}}});
    const QString b = makeData(QStringLiteral("b.bin"), QByteArray(8, 'x'));
    openThroughDialog(a);
    openThroughDialog(b);
    EXPECT_EQ(doc().dataFileName(), b);
    EXPECT_EQ(segmentNames(), std::vector<std::string>{"Kept"});
    EXPECT_EQ(streamBytes(doc().dataStream()), QByteArray(8, 'x'));
}

TEST_F(DocumentTest, ATypePathOpensItsDataFileAndCapitalsAreData) {
    const QString data = makeData(QStringLiteral("c.bin"));
    writeType(data + QStringLiteral(".type"), {{"ByType", 0, 1, 16, {{1, 0, 1, "b"}}}});
    openThroughDialog(data + QStringLiteral(".type"));
    EXPECT_EQ(doc().dataFileName(), data);
    EXPECT_EQ(segmentNames(), std::vector<std::string>{"ByType"});

    // ".TYPE" is no type extension: the file itself is the data.
    const QString upper = makeData(QStringLiteral("d.TYPE"), QByteArray(3, 'z'));
    openThroughDialog(upper);
    EXPECT_EQ(doc().dataFileName(), upper);
    EXPECT_EQ(streamBytes(doc().dataStream()), QByteArray(3, 'z'));
}

TEST_F(DocumentTest, MissingAndHugeFilesAreRefused) {
    const QString good = makeData(QStringLiteral("good.bin"));
    openThroughDialog(good);
    const QString missing = dir + QStringLiteral("missing.bin");
    openThroughDialog(missing);
    ASSERT_FALSE(prompts.messageTexts().isEmpty());
    EXPECT_EQ(prompts.messageTexts().last(),
              QStringLiteral("File ") + missing + QStringLiteral(" is not exit!"));
    EXPECT_EQ(doc().dataFileName(), good);
    EXPECT_NE(doc().dataStream(), nullptr);

    // A sparse file of exactly 2 GiB: refused before any copy is made.
    const QString huge = dir + QStringLiteral("huge.bin");
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(Document::kMaxDataFileSize));
    }
    const auto copiesBefore = QDir(tempDir).entryList(QDir::Files).size();
    openThroughDialog(huge);
    EXPECT_TRUE(prompts.messageTexts().last().contains(QStringLiteral("2 GiB")));
    EXPECT_EQ(QDir(tempDir).entryList(QDir::Files).size(), copiesBefore);
    EXPECT_EQ(doc().dataFileName(), good);
    EXPECT_EQ(files().recentFiles(), QStringList{good});
}

TEST_F(DocumentTest, EditingACellWritesEachKeystrokeAndSaveStoresTheBytes) {
    const QString data = makeData(QStringLiteral("e.bin"));
    writeType(data + QStringLiteral(".type"),
              {{"Rec", 0, 2, 16, {{0, 0, 1, "lo"}, {0, 1, 1, "hi"}}}});
    openThroughDialog(data);
    vm::Segment* seg = doc().segments().current();
    ASSERT_NE(seg, nullptr);
    EXPECT_TRUE(act("AcanEdit")->isChecked());
    EXPECT_FALSE(act("AsaveData")->isEnabled());

    SegmentGrid* grid = window().recordPane()->mainGrid(seg);
    ASSERT_NE(grid, nullptr);
    // Record 1, field "lo": byte 2 of the file.
    grid->selectCell(1, 2);
    ASSERT_TRUE(grid->openEditor());
    QLineEdit* editor = grid->cellEditor();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("1"));
    EXPECT_EQ(streamBytes(doc().dataStream()).at(2), 0x01);
    EXPECT_TRUE(doc().dataChanged());
    EXPECT_TRUE(act("AsaveData")->isEnabled());
    EXPECT_TRUE(act("AsaveAll")->isEnabled());
    QTest::keyClicks(editor, QStringLiteral("2"));
    EXPECT_EQ(streamBytes(doc().dataStream()).at(2), 0x0C);
    // The data file itself is untouched until it is saved.
    EXPECT_EQ(readFile(data), kBytes);

    const auto permsBefore = QFile::permissions(data);
    QFile::setPermissions(data, permsBefore | QFileDevice::ExeOwner);
    trigger("AsaveData");
    QByteArray expected = kBytes;
    expected[2] = 0x0C;
    EXPECT_EQ(readFile(data), expected);
    EXPECT_FALSE(doc().dataChanged());
    EXPECT_FALSE(act("AsaveData")->isEnabled());
    // The replaced file keeps its permissions and no temporary file is left.
    EXPECT_TRUE(QFile::permissions(data) & QFileDevice::ExeOwner);
    EXPECT_EQ(
        QDir(dir).entryList(QStringList{QStringLiteral(".vm*")}, QDir::Files | QDir::Hidden).size(),
        0);
    EXPECT_NE(doc().dataStream(), nullptr);
}

class SaveQuestions : public DocumentTest {
protected:
    QString data;
    void SetUp() override {
        DocumentTest::SetUp();
        data = makeData(QStringLiteral("q.bin"));
        writeType(data + QStringLiteral(".type"), {{"Q", 0, 1, 16, {{1, 0, 1, "b"}}}});
        openThroughDialog(data);
        // An edit of byte 0 straight into the working copy, as the grid does.
        const std::uint8_t b = 0xEE;
        ASSERT_TRUE(doc().dataStream()->writeAt(0, {&b, 1}));
        doc().setDataChanged(true);
        prompts.records.clear();
    }
    QByteArray edited() const {
        QByteArray e = kBytes;
        e[0] = static_cast<char>(0xEE);
        return e;
    }
};

TEST_F(SaveQuestions, YesCopiesTheWorkingCopyOverTheDataFile) {
    prompts.answers = {Prompter::Answer::Yes};
    EXPECT_TRUE(window().close());
    ASSERT_EQ(prompts.records.size(), 1u);
    EXPECT_EQ(prompts.records[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(prompts.records[0].text, data + QStringLiteral("  Is Change,  Save It ?"));
    EXPECT_EQ(prompts.records[0].buttons, Prompter::Buttons::YesNoCancel);
    EXPECT_EQ(readFile(data), edited());
}

TEST_F(SaveQuestions, NoLeavesTheDataFileAsItWasOpened) {
    prompts.answers = {Prompter::Answer::No};
    EXPECT_TRUE(window().close());
    EXPECT_EQ(readFile(data), kBytes);
    EXPECT_FALSE(doc().dataChanged());
}

TEST_F(SaveQuestions, CancelKeepsTheWindowOpenAndTheChanges) {
    prompts.answers = {Prompter::Answer::Cancel};
    EXPECT_FALSE(window().close());
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(doc().dataChanged());
    EXPECT_EQ(readFile(data), kBytes);
    EXPECT_EQ(streamBytes(doc().dataStream()), edited());
}

TEST_F(SaveQuestions, AnOpenThatGoesNoFurtherKeepsTheDocumentAsAnswered) {
    // No to the question, then the open dialog is dismissed: the document
    // shows its file as it is on disk again, ready to use.
    prompts.answers = {Prompter::Answer::No};
    trigger("AopenFile");
    waitForWorkingCopy();
    EXPECT_EQ(doc().dataFileName(), data);
    ASSERT_NE(doc().dataStream(), nullptr);
    EXPECT_EQ(streamBytes(doc().dataStream()), kBytes);
    EXPECT_FALSE(doc().dataChanged());

    // Yes, then a file that does not exist: the saved bytes are shown.
    const std::uint8_t b = 0xEE;
    ASSERT_TRUE(doc().dataStream()->writeAt(0, {&b, 1}));
    doc().setDataChanged(true);
    prompts.answers = {Prompter::Answer::Yes};
    prompts.fileNames = {dir + QStringLiteral("gone.bin")};
    trigger("AopenFile");
    waitForWorkingCopy();
    EXPECT_EQ(doc().dataFileName(), data);
    EXPECT_EQ(readFile(data), edited());
    EXPECT_EQ(streamBytes(doc().dataStream()), edited());
}

TEST_F(SaveQuestions, TypeQuestionComesFirstAndItsCancelStopsEverything) {
    doc().setTypeChanged(true);
    prompts.answers = {Prompter::Answer::Cancel};
    EXPECT_FALSE(window().close());
    ASSERT_EQ(prompts.records.size(), 1u);
    EXPECT_EQ(prompts.records[0].text, QStringLiteral(" Do You Want Save The TypeFile to  ") +
                                           data + QStringLiteral(".type ?"));
    EXPECT_TRUE(doc().typeChanged());
    EXPECT_TRUE(doc().dataChanged());

    // Yes to the structure, Cancel to the data: the structure is saved and
    // its command goes off; the data stays changed.
    prompts.answers = {Prompter::Answer::Yes, Prompter::Answer::Cancel};
    EXPECT_FALSE(window().close());
    EXPECT_FALSE(doc().typeChanged());
    EXPECT_FALSE(act("AsaveType")->isEnabled());
    EXPECT_TRUE(act("AsaveData")->isEnabled());
    doc().setTypeChanged(true);

    // Yes to both: the structure goes beside the data file, then the data.
    QFile::remove(data + QStringLiteral(".type"));
    prompts.answers = {Prompter::Answer::Yes, Prompter::Answer::Yes};
    EXPECT_TRUE(window().close());
    EXPECT_TRUE(QFileInfo::exists(data + QStringLiteral(".type")));
    EXPECT_EQ(readFile(data), edited());
}

TEST_F(SaveQuestions, AFailingSaveReportsTheSystemErrorAndKeepsTheChanges) {
    // The data file's name now belongs to a folder: it cannot be replaced.
    QFile::remove(data);
    ASSERT_TRUE(QDir().mkdir(data));
    prompts.answers = {Prompter::Answer::Yes};
    EXPECT_FALSE(window().close());
    ASSERT_EQ(prompts.records.size(), 2u);
    EXPECT_EQ(prompts.records[1].buttons, Prompter::Buttons::Ok);
    EXPECT_TRUE(prompts.records[1].text.startsWith(data + QStringLiteral(": ")));
    EXPECT_GT(prompts.records[1].text.size(), data.size() + 2);
    EXPECT_TRUE(doc().dataChanged());
    ASSERT_NE(doc().dataStream(), nullptr);
    EXPECT_EQ(streamBytes(doc().dataStream()), edited());

    // "Save As..." into a folder that does not exist fails the same way.
    prompts.records.clear();
    prompts.fileNames = {dir + QStringLiteral("no/such/folder/x.bin")};
    trigger("AsaveAs");
    ASSERT_EQ(prompts.records.size(), 2u);
    EXPECT_EQ(prompts.records[1].kind, ScriptedPrompter::Kind::Message);
    EXPECT_TRUE(doc().dataChanged());
    EXPECT_EQ(doc().dataFileName(), data);
}

TEST_F(SaveQuestions, AFailedSaveClosesItsProgressWindowBeforeTheError) {
    QFile::remove(data);
    ASSERT_TRUE(QDir().mkdir(data));
    // A progress window still there under the error box would show on top of
    // it half a second into the save and take its clicks.
    std::vector<qsizetype> progressWindows;
    prompts.onMessage = [&](const ScriptedPrompter::Record&) {
        progressWindows.push_back(window().findChildren<QProgressDialog*>().size());
    };
    prompts.answers = {Prompter::Answer::Yes};
    EXPECT_FALSE(window().close());
    trigger("AsaveData");
    EXPECT_EQ(progressWindows, (std::vector<qsizetype>{0, 0, 0}));
    prompts.onMessage = nullptr;
}

TEST_F(DocumentTest, NoMessageOpensUnderAProgressWindowAndAStopIsNoError) {
    window();
    const auto shown = [this] {
        int n = 0;
        for (const QProgressDialog* d : window().findChildren<QProgressDialog*>())
            n += d->isVisible() ? 1 : 0;
        return n;
    };
    ProgressWindow progress(&window(), QStringLiteral("Long Work"));
    const vm::Progress step = progress.callback();
    // It shows by itself once half a second has passed.
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown() == 1; }));
    std::vector<int> under;
    prompts.onMessage = [&](const ScriptedPrompter::Record&) { under.push_back(shown()); };
    prompts.answers = {Prompter::Answer::No};
    prompter().ask(&window(), QStringLiteral("Warning"), QStringLiteral("Go on?"));
    prompter().error(&window(), QStringLiteral("x.bin: ") + QLatin1String(vm::kStoppedByUser));
    prompter().error(&window(), QStringLiteral("x.bin: No space left on device"));
    prompts.onMessage = nullptr;
    EXPECT_EQ(under, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(prompts.records[1].icon, Prompter::Icon::Information);
    EXPECT_EQ(prompts.records[2].icon, Prompter::Icon::Critical);
    // Closed for a message, it stays closed while the work goes on.
    EXPECT_TRUE(step(0.5));
    QTest::qWait(600);
    EXPECT_TRUE(step(0.6));
    EXPECT_EQ(shown(), 0);
}

TEST_F(SaveQuestions, SaveAsMovesTheDocumentButNotTheTypeFile) {
    const QString other = dir + QStringLiteral("other.bin");
    writeFile(other, "old");
    prompts.fileNames = {other};
    prompts.answers = {Prompter::Answer::No};
    trigger("AsaveAs");
    EXPECT_EQ(prompts.records.back().title, QStringLiteral("Warning "));
    EXPECT_EQ(prompts.records.back().text,
              QStringLiteral("Are You Sure  ") + other + QStringLiteral("  is exit replace it ?"));
    EXPECT_EQ(readFile(other), QByteArray("old"));

    prompts.fileNames = {other};
    prompts.answers = {Prompter::Answer::Yes};
    trigger("AsaveAs");
    EXPECT_EQ(readFile(other), edited());
    EXPECT_EQ(doc().dataFileName(), other);
    EXPECT_EQ(doc().typeFileName(), data + QStringLiteral(".type"));
    EXPECT_FALSE(doc().dataChanged());
    EXPECT_EQ(files().recentFiles(), QStringList{data});
    // The next "Save Type File" writes beside the new name.
    files().saveTypeCommand();
    EXPECT_TRUE(QFileInfo::exists(other + QStringLiteral(".type")));
}

TEST_F(SaveQuestions, SaveAllWritesBothFilesEvenWhenUnchanged) {
    trigger("AsaveData");
    QFile::remove(data + QStringLiteral(".type"));
    const QByteArray before = readFile(data);
    QFile::remove(data);
    // Nothing is changed, so only the command itself can run (its action is off).
    EXPECT_FALSE(act("AsaveAll")->isEnabled());
    files().saveAllCommand();
    EXPECT_EQ(readFile(data), before);
    EXPECT_TRUE(QFileInfo::exists(data + QStringLiteral(".type")));
}

// The save runs in a child process whose files may not grow past 64 KiB, so
// that the copy of a 256 KiB working file stops part-way with the system's
// "file too large". The child reports by its exit code what it saw.
class SaveStoppedPartWay : public DocumentTest {
protected:
    enum : int { SaveSucceeded = 1, ChangeMarkLost = 2, NoSystemError = 4, StreamClosed = 8 };
    static constexpr rlim_t kLimit = 64 * 1024;

    QByteArray original;
    QString data;

    void SetUp() override {
        DocumentTest::SetUp();
        original.resize(256 * 1024);
        for (int i = 0; i < original.size(); ++i)
            original[i] = static_cast<char>(i * 7 + i / 251);
        data = makeData(QStringLiteral("big.bin"), original);
        openThroughDialog(data);
        ASSERT_EQ(doc().dataSize(), original.size());
        const std::uint8_t b[2] = {0xAB, 0xCD};
        ASSERT_TRUE(doc().dataStream()->writeAt(0, {b, 1}));
        ASSERT_TRUE(doc().dataStream()->writeAt(original.size() - 1, {b + 1, 1}));
        doc().setDataChanged(true);
        prompts.records.clear();
    }

    template <typename Save> int runLimited(Save save) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit lim{kLimit, kLimit};
            if (::setrlimit(RLIMIT_FSIZE, &lim) != 0)
                ::_exit(99);
            const bool ok = save();
            int code = ok ? SaveSucceeded : 0;
            if (!doc().dataChanged())
                code |= ChangeMarkLost;
            const auto& r = prompts.records;
            if (r.empty() || r.back().kind != ScriptedPrompter::Kind::Message ||
                !r.back().text.startsWith(data + QStringLiteral(": ")) ||
                r.back().text.size() <= data.size() + 2)
                code |= NoSystemError;
            if (!doc().dataStream())
                code |= StreamClosed;
            ::_exit(code);
        }
        int status = 0;
        if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }

    int leftovers() const {
        return static_cast<int>(
            QDir(dir)
                .entryList(QStringList{QStringLiteral(".vm*")}, QDir::Files | QDir::Hidden)
                .size());
    }
};

TEST_F(SaveStoppedPartWay, SaveFileLeavesTheDataFileAsItWas) {
    EXPECT_EQ(runLimited([this] {
                  trigger("AsaveData");
                  return !doc().dataChanged();
              }),
              0);
    EXPECT_EQ(readFile(data), original);
    EXPECT_EQ(leftovers(), 0);

    // Without the limit the same save goes through: the child saw a real
    // failure, not a save that never started.
    trigger("AsaveData");
    QByteArray edited = original;
    edited[0] = static_cast<char>(0xAB);
    edited[edited.size() - 1] = static_cast<char>(0xCD);
    EXPECT_EQ(readFile(data), edited);
    EXPECT_FALSE(doc().dataChanged());
}

TEST_F(SaveStoppedPartWay, YesToTheSaveQuestionKeepsTheWindowAndTheChanges) {
    EXPECT_EQ(runLimited([this] {
                  prompts.answers = {Prompter::Answer::Yes};
                  const bool closed = window().close();
                  return closed || !window().isVisible();
              }),
              0);
    EXPECT_EQ(readFile(data), original);
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(DocumentTest, SavingThroughALinkReplacesTheLinkedFile) {
    const QString real = makeData(QStringLiteral("real.bin"));
    const QString link = dir + QStringLiteral("link.bin");
    ASSERT_TRUE(QFile::link(real, link));
    openThroughDialog(link);
    const std::uint8_t b = 0x55;
    ASSERT_TRUE(doc().dataStream()->writeAt(1, {&b, 1}));
    doc().setDataChanged(true);
    trigger("AsaveData");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readFile(real).at(1), 0x55);
}

TEST_F(SaveQuestions, AFileChangedOnDiskIsOverwrittenOnlyAfterAYes) {
    // Another program writes the data file (and the type file) after it was opened.
    writeFile(data, "changed elsewhere");
    writeFile(data + QStringLiteral(".type"), "also changed");
    const QString question = QStringLiteral("The file ") + data +
                             QStringLiteral(" was changed by another program since it was "
                                            "opened.\nOverwrite it?");
    prompts.answers = {Prompter::Answer::No};
    trigger("AsaveData");
    ASSERT_EQ(prompts.records.size(), 1u);
    EXPECT_EQ(prompts.records[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(prompts.records[0].text, question);
    EXPECT_EQ(prompts.records[0].buttons, Prompter::Buttons::YesNo);
    EXPECT_EQ(readFile(data), QByteArray("changed elsewhere"));
    EXPECT_TRUE(doc().dataChanged());

    doc().setTypeChanged(true);
    prompts.answers = {Prompter::Answer::No};
    trigger("AsaveType");
    EXPECT_EQ(prompts.records.back().text,
              QStringLiteral("The file ") + data +
                  QStringLiteral(".type was changed by another program since it was "
                                 "opened.\nOverwrite it?"));
    EXPECT_EQ(readFile(data + QStringLiteral(".type")), QByteArray("also changed"));
    EXPECT_TRUE(doc().typeChanged());

    prompts.answers = {Prompter::Answer::Yes};
    trigger("AsaveData");
    EXPECT_EQ(readFile(data), edited());
    EXPECT_FALSE(doc().dataChanged());
    // Our own save is no change by someone else: the next one asks nothing.
    prompts.records.clear();
    const std::uint8_t b = 0x77;
    ASSERT_TRUE(doc().dataStream()->writeAt(1, {&b, 1}));
    doc().setDataChanged(true);
    trigger("AsaveData");
    EXPECT_TRUE(prompts.records.empty());
    EXPECT_EQ(readFile(data).at(1), 0x77);
}

#ifndef _WIN32
// A pair save killed between its two renames (new data, old type file) is
// made whole by the next program that opens either file, Open Type File
// included, and the status line says what was done.
TEST_F(DocumentTest, OpenTypeFileCompletesAPairSaveKilledHalfWay) {
    const QString data = makeData(QStringLiteral("p.bin"));
    const QString type = data + QStringLiteral(".type");
    writeType(type, {{"Old", 0, 1, 16, {{1, 0, 1, "b"}}}});
    openThroughDialog(data);
    const QString staged = dir + QStringLiteral("staged.type");
    writeType(staged, {{"New", 0, 2, 16, {{1, 0, 1, "b"}}}});
    const std::string newType = readFile(staged).toStdString();
    const std::string newData(16, '\x33');
    const pid_t pid = ::fork();
    if (pid == 0) {
        vm::setPairCommitHook([](vm::PairCommitStep step) {
            if (step == vm::PairCommitStep::FirstReplaced)
                ::raise(SIGKILL);
        });
        vm::ReplaceFile d, t;
        std::string error;
        if (d.begin(toNative(data)) && d.append(newData) && t.begin(toNative(type)) &&
            t.append(newType))
            vm::commitBoth(d, t, &error);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_NE(readFile(type).toStdString(), newType);

    prompts.fileNames = {type};
    trigger("AopenType");
    EXPECT_EQ(segmentNames(), std::vector<std::string>{"New"});
    EXPECT_EQ(readFile(data).toStdString(), newData);
    EXPECT_FALSE(window().statusMessage().isEmpty());
    EXPECT_TRUE(prompts.messageTexts().isEmpty()) << prompts.messageTexts().join('|').toStdString();
}
#endif

TEST_F(DocumentTest, AFifoIsRefusedAtOnceWithTheReason) {
    const QString good = makeData(QStringLiteral("good.bin"));
    openThroughDialog(good);
    const QString fifo = dir + QStringLiteral("fifo.bin");
    ASSERT_EQ(::mkfifo(toNative(fifo).c_str(), 0600), 0);
    openThroughDialog(fifo); // would wait for a writer forever if opened plainly
    EXPECT_EQ(prompts.messageTexts().last(), QStringLiteral("File  ") + fifo +
                                                 QStringLiteral(" Open Error\nIt is a FIFO, not "
                                                                "a regular file"));
    EXPECT_EQ(doc().dataFileName(), good);
    EXPECT_EQ(streamBytes(doc().dataStream()), kBytes);
    EXPECT_EQ(QDir(tempDir).entryList(QDir::Files).size(), 1); // no copy of it was left
}

TEST_F(DocumentTest, RecentListsMoveToTopDropTheOldestAndPersist) {
    QStringList paths;
    for (int i = 0; i < 5; ++i)
        paths << makeData(QStringLiteral("r%1.bin").arg(i));
    for (int i = 0; i < 4; ++i)
        openThroughDialog(paths[i]);
    EXPECT_EQ(files().recentFiles(), paths.mid(0, 4));
    // Reopening (the case differs) moves the entry to the end, not a copy.
    files().addRecentName(DocumentFiles::RecentList::Files, paths[1].toUpper());
    EXPECT_EQ(files().recentFiles(), (QStringList{paths[0], paths[2], paths[3], paths[1]}));
    openThroughDialog(paths[4]);
    EXPECT_EQ(files().recentFiles(), (QStringList{paths[2], paths[3], paths[1], paths[4]}));

    // "Recent Files" lists them newest first; Exit stays the File menu's last entry.
    QStringList texts;
    for (QAction* a : window().recentFilesMenu()->actions())
        texts << a->text();
    EXPECT_EQ(texts, (QStringList{paths[4], paths[1], paths[3], paths[2]}));
    EXPECT_EQ(window().fileMenu()->actions().last()->text(), QStringLiteral("Exit"));

    // Choosing an entry opens that file.
    for (QAction* a : window().recentFilesMenu()->actions())
        if (a->text() == paths[3])
            a->trigger();
    EXPECT_EQ(doc().dataFileName(), paths[3]);

    // An ampersand in a path is shown, not taken as a shortcut mark.
    const QString amp = makeData(QStringLiteral("R&D.bin"));
    openThroughDialog(amp);
    bool shown = false;
    for (QAction* a : window().recentFilesMenu()->actions())
        if (QAction(a->text()).iconText() == amp) {
            shown = true;
            a->trigger();
        }
    EXPECT_TRUE(shown);
    EXPECT_EQ(doc().dataFileName(), amp);
    openThroughDialog(paths[3]);
    EXPECT_EQ(files().recentFiles(), (QStringList{paths[1], paths[4], amp, paths[3]}));

    // The lists survive the program.
    EXPECT_TRUE(window().close());
    win.reset();
    EXPECT_EQ(files().recentFiles(), (QStringList{paths[1], paths[4], amp, paths[3]}));
}

TEST_F(DocumentTest, NewFileCreatesZeroBytesAndRefusesBadSizes) {
    prompts.inputs = {QStringLiteral("abc")};
    trigger("AnewFile");
    EXPECT_EQ(prompts.messageTexts(), QStringList{QStringLiteral("File Size Must Not Less Zero")});

    const QString target = dir + QStringLiteral("new.bin");
    prompts.inputs = {QStringLiteral("$10")};
    prompts.fileNames = {target};
    trigger("AnewFile");
    EXPECT_EQ(readFile(target), QByteArray(16, '\0'));
    EXPECT_EQ(doc().dataFileName(), target);

    // An existing file is replaced only on Yes to "Warning ! ".
    prompts.records.clear();
    prompts.inputs = {QStringLiteral("0")};
    prompts.fileNames = {target};
    prompts.answers = {Prompter::Answer::No};
    trigger("AnewFile");
    EXPECT_EQ(prompts.records.back().title, QStringLiteral("Warning ! "));
    EXPECT_EQ(prompts.records.back().text, target + QStringLiteral("  is Exist, Over Write it?"));
    EXPECT_EQ(readFile(target).size(), 16);

    prompts.inputs = {QStringLiteral("0")};
    prompts.fileNames = {target};
    prompts.answers = {Prompter::Answer::Yes};
    trigger("AnewFile");
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(readFile(target).size(), 0);
    EXPECT_EQ(doc().dataSize(), 0);
}

TEST_F(DocumentTest, OpenInNewWindowStartsTheProgramOnAnExistingFile) {
    const QString data = makeData(QStringLiteral("n.bin"));
    prompts.fileNames = {dir + QStringLiteral("absent.bin"), data};
    trigger("AnewWindow");
    EXPECT_EQ(prompts.messageTexts().last(), dir + QStringLiteral("absent.bin File is not exist!"));
    EXPECT_TRUE(desktop.started.empty());
    trigger("AnewWindow");
    ASSERT_EQ(desktop.started.size(), 1u);
    EXPECT_EQ(desktop.started[0].last(), data);
    EXPECT_TRUE(doc().dataFileName().isEmpty());
}

TEST_F(DocumentTest, TypeFileCommands) {
    const QString data = makeData(QStringLiteral("t.bin"));
    writeType(data + QStringLiteral(".type"), {{"T", 0, 1, 16, {{1, 0, 1, "b"}}}});
    openThroughDialog(data);

    // "Save type as..." adds .type unless the extension is exactly ".type".
    prompts.fileNames = {dir + QStringLiteral("x.TYPE")};
    trigger("AsaveTypeAs");
    EXPECT_TRUE(QFileInfo::exists(dir + QStringLiteral("x.TYPE.type")));
    EXPECT_EQ(doc().typeFileName(), dir + QStringLiteral("x.TYPE.type"));
    prompts.fileNames = {dir + QStringLiteral("x.TYPE.type")};
    prompts.answers = {Prompter::Answer::No};
    trigger("AsaveTypeAs");
    EXPECT_EQ(prompts.records.back().text, QStringLiteral("Are You Sure ") + dir +
                                               QStringLiteral("x.TYPE.type Is Exist Replace It ?"));

    // "Replace Default Type" writes the default type file on Yes only.
    prompts.answers = {Prompter::Answer::No};
    trigger("AReplacedefaulttype");
    EXPECT_FALSE(QFileInfo::exists(installDir + QStringLiteral("default.type")));
    prompts.answers = {Prompter::Answer::Yes};
    trigger("AReplacedefaulttype");
    EXPECT_TRUE(QFileInfo::exists(installDir + QStringLiteral("default.type")));
    EXPECT_EQ(shownTitle(),
              QStringLiteral("Vellomarque-") + data + QStringLiteral("  Use default type"));

    // A type file that is not one is refused and the structure stays.
    const QString junk = dir + QStringLiteral("junk.type");
    writeFile(junk, QByteArray(200, 'j'));
    prompts.fileNames = {junk};
    trigger("AopenType");
    EXPECT_EQ(prompts.messageTexts().last(),
              junk + QStringLiteral(" Is Not Vellomarque's Type File !"));
    EXPECT_EQ(segmentNames(), std::vector<std::string>{"T"});
    EXPECT_TRUE(files().recentTypes().contains(junk));
}

// The stored length of a ToFilesEnd segment (one record here) is stale as
// soon as it meets a data file: the segment runs to the end of the file before
// any grid counts it, and the structure then differs from its type file.
TEST_F(DocumentTest, AToFilesEndSegmentRunsToTheEndOfTheFileOnceOpened) {
    const QString data = makeData(QStringLiteral("tfe.bin"), countingBytes(1024));
    writeType(data + QStringLiteral(".type"), {{"Head", 0, 32, 512, {{1, 0, 1, "b"}}},
                                               {"T", 512, 32, 32, {{7, 0, 4, "v"}}, false, true}});
    openThroughDialog(data);
    ASSERT_EQ(doc().segments().size(), 2u);
    const vm::Segment& t = doc().segments()[1];
    EXPECT_EQ(t.length, 512);
    EXPECT_EQ(t.recordCount, 16);
    EXPECT_TRUE(doc().typeChanged());
    EXPECT_TRUE(act("AsaveType")->isEnabled());

    // A structure that already matches the file is not marked changed.
    trigger("AsaveType");
    prompts.fileNames = {data + QStringLiteral(".type")};
    trigger("AopenType");
    EXPECT_EQ(doc().segments()[1].recordCount, 16);
    EXPECT_FALSE(doc().typeChanged());
    // Nor is one written with no record count stored (as write-type writes
    // them, the bundled example's among them): the count follows the length.
    writeType(data + QStringLiteral(".type"),
              {{"Head", 0, 32, 512, {{1, 0, 1, "b"}}},
               {"T", 512, 32, 512, {{7, 0, 4, "v"}}, false, true}});
    prompts.fileNames = {data + QStringLiteral(".type")};
    trigger("AopenType");
    EXPECT_EQ(doc().segments()[1].recordCount, 16);
    EXPECT_FALSE(doc().typeChanged());

    // The default structure follows every file it is laid over: no change to save.
    writeType(installDir + QStringLiteral("default.type"),
              {{"Bytes", 0, 16, 0, {{15, 0, 16, "hex"}}, false, true}});
    openThroughDialog(makeData(QStringLiteral("other.bin"), countingBytes(40)));
    EXPECT_EQ(doc().segments()[0].length, 40);
    EXPECT_EQ(doc().segments()[0].recordCount, 2);
    EXPECT_FALSE(doc().typeChanged());
}

TEST_F(DocumentTest, CloseAllEmptiesTheDocument) {
    const QString data = makeData(QStringLiteral("c.bin"));
    writeType(data + QStringLiteral(".type"), {{"C", 0, 1, 16, {{1, 0, 1, "b"}}}});
    openThroughDialog(data);
    ASSERT_TRUE(doc().viewSettings().canEditData());
    trigger("AcloseAll");
    EXPECT_TRUE(doc().dataFileName().isEmpty());
    EXPECT_TRUE(doc().typeFileName().isEmpty());
    EXPECT_EQ(doc().dataStream(), nullptr);
    EXPECT_TRUE(doc().segments().empty());
    EXPECT_FALSE(act("AcanEdit")->isChecked());
    EXPECT_FALSE(doc().viewSettings().canEditData());
    EXPECT_EQ(shownTitle(), QStringLiteral("Vellomarque-no file open"));
    EXPECT_FALSE(act("AcloseAll")->isEnabled());
}

} // namespace
