// Export Records, Import Records and Export Structure As through their menu
// entries: what they write is what the command-line tool writes, an import is
// one rewrite with its report, and a refused table changes nothing.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableView>

#include "appfixture.h"
#include "importrecordsdialog.h"
#include "operation.h"
#include "tablereportdialog.h"
#include "tablereportmodel.h"

namespace {

// R: ten records of 4 bytes (a: 2Bunsigned, b: 1Bunsigned, c: 1Bsigned) over
// bytes 0, 1, 2, ...; T right behind it. Fully described, so "Can Edit
// Structure" asks nothing.
class RecordTableTest : public AppTest {
protected:
    QString data;

    void SetUp() override {
        AppTest::SetUp();
        data = dir + QStringLiteral("p.bin");
        writeFile(data, countingBytes(60));
        writeType(data + QStringLiteral(".type"),
                  {{"R", 0, 4, 40, {{6, 0, 2, "a"}, {1, 2, 1, "b"}, {0, 3, 1, "c"}}},
                   {"T", 40, 4, 20, {{7, 0, 4, "t"}}}});
        openThroughDialog(data);
        QObject::connect(&doc(), &Document::operationDone,
                         [this](const Operation& op) { done.push_back(op); });
    }

    QByteArray cli(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral(VM_CLI_PATH), args);
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return p.readAllStandardOutput();
    }
    // Imports table through the menu entry; options fills the options
    // window; the report window's summary is kept, and its list saved to
    // saveTo when given.
    void importTable(const QString& table, const std::function<void(QDialog&)>& options,
                     const QString& saveTo = {}) {
        prompts.fileNames.push_back(table);
        prompts.modals.push_back([options](QDialog& d) {
            EXPECT_NE(dynamic_cast<TimportRecords*>(&d), nullptr);
            options(d);
            return static_cast<int>(QDialog::Accepted);
        });
        prompts.modals.push_back([this, saveTo](QDialog& d) {
            auto* report = dynamic_cast<TtableReport*>(&d);
            EXPECT_NE(report, nullptr);
            if (!report)
                return static_cast<int>(QDialog::Rejected);
            summary = report->summary();
            reported = report->model()->reportCount();
            if (!saveTo.isEmpty()) {
                prompts.fileNames.push_back(saveTo);
                report->findChild<QPushButton*>(QStringLiteral("Bsave"))->click();
            }
            return static_cast<int>(QDialog::Accepted);
        });
        trigger("AimportRecords");
    }
    static void noOptions(QDialog&) {}

    std::vector<Operation> done;
    QString summary;
    std::int64_t reported = -1;
};

} // namespace

TEST_F(RecordTableTest, RecordsGoOutAsTheToolWritesThemAndComeBackAsOneRewrite) {
    const QString csv = dir + QStringLiteral("r.csv");
    prompts.fileNames.push_back(csv);
    trigger("AexportRecords");
    EXPECT_EQ(readFile(csv), cli({QStringLiteral("export-table"), data, QStringLiteral("R"),
                                  QStringLiteral("-o"), QStringLiteral("-")}));

    // The table as exported changes nothing, so nothing stands as changed.
    const std::string workingBefore = doc().workingFile().name;
    importTable(csv, noOptions);
    EXPECT_TRUE(summary.startsWith(QStringLiteral("10 rows imported: 0 values written")))
        << summary.toStdString();
    EXPECT_TRUE(done.empty());
    EXPECT_FALSE(doc().dataChanged());
    EXPECT_EQ(doc().workingFile().name, workingBefore);

    // Record 2's a becomes 7; record 3's b is given 300, which a byte cannot hold.
    const QString table = dir + QStringLiteral("edited.csv");
    writeFile(table, "index,a,b\r\n2,7,10\r\n3,3340,300\r\n");
    const QString report = dir + QStringLiteral("report.txt");
    importTable(
        table,
        [](QDialog& d) {
            EXPECT_EQ(d.findChild<QComboBox*>(QStringLiteral("Cformat"))->currentText(),
                      QStringLiteral("CSV"));
            // Appending records moves bytes: not without "Can Edit Structure".
            EXPECT_FALSE(d.findChild<QCheckBox*>(QStringLiteral("Cresize"))->isEnabled());
        },
        report);
    EXPECT_EQ(prompts.unanswered, 0);
    const QByteArray bytes = streamBytes(doc().dataStream());
    ASSERT_EQ(bytes.size(), 60);
    EXPECT_EQ(bytes.mid(8, 2), QByteArray("\x07\x00", 2));
    EXPECT_EQ(bytes.mid(12, 2), countingBytes(60).mid(12, 2)); // as the table gives it
    EXPECT_NE(bytes[14], char{14});
    EXPECT_EQ(bytes.mid(16), countingBytes(60).mid(16));
    EXPECT_EQ(reported, 1);
    EXPECT_TRUE(summary.startsWith(QStringLiteral("2 rows imported"))) << summary.toStdString();
    const QList<QByteArray> lines = readFile(report).split('\n');
    ASSERT_EQ(lines.size(), 2); // one report and the final line end
    EXPECT_TRUE(lines[0].startsWith("3\t3\tb\tcut\t300\t")) << lines[0].toStdString();

    ASSERT_EQ(done.size(), 1u);
    const auto* r = std::get_if<change::Rewrite>(&done[0].change);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->workingFileBefore, workingBefore);
    EXPECT_NE(r->workingFileAfter, workingBefore);
    EXPECT_TRUE(doc().dataChanged());
}

TEST_F(RecordTableTest, ARefusedTableChangesNothingAndRowsPastTheEndAppendRecords) {
    const QByteArray original = countingBytes(60);
    const QString bad = dir + QStringLiteral("bad.tsv");
    writeFile(bad, "index\tzz\n1\t5\n");
    importTable(bad, noOptions);
    ASSERT_FALSE(prompts.messageTexts().isEmpty());
    EXPECT_TRUE(prompts.messageTexts().last().startsWith(bad + QStringLiteral(", ")))
        << prompts.messageTexts().last().toStdString();
    EXPECT_TRUE(done.empty());
    EXPECT_EQ(streamBytes(doc().dataStream()), original);
    prompts.modals.clear(); // the report window never came

    // A dry run reports only.
    const QString dry = dir + QStringLiteral("dry.jsonl");
    writeFile(dry, "{\"index\": 1, \"a\": 99}\n");
    importTable(dry, [](QDialog& d) {
        EXPECT_EQ(d.findChild<QComboBox*>(QStringLiteral("Cformat"))->currentText(),
                  QStringLiteral("JSON Lines"));
        d.findChild<QCheckBox*>(QStringLiteral("CdryRun"))->setChecked(true);
    });
    EXPECT_TRUE(summary.startsWith(QStringLiteral("Dry run"))) << summary.toStdString();
    EXPECT_TRUE(done.empty());
    EXPECT_EQ(streamBytes(doc().dataStream()), original);

    const QString more = dir + QStringLiteral("more.jsonl");
    writeFile(more, "{\"index\": 10, \"a\": 99}\n");
    trigger("AcanEditType");
    ASSERT_TRUE(doc().viewSettings().canEditStructure());
    importTable(more, [](QDialog& d) {
        auto* resize = d.findChild<QCheckBox*>(QStringLiteral("Cresize"));
        EXPECT_TRUE(resize->isEnabled());
        resize->setChecked(true);
    });
    EXPECT_EQ(prompts.unanswered, 0);
    EXPECT_EQ(doc().segments()[0].recordCount, 11);
    EXPECT_EQ(doc().segments()[1].begin, 44);
    EXPECT_EQ(streamBytes(doc().dataStream()),
              original.left(40) + QByteArray("\x63\x00\x00\x00", 4) + original.mid(40));
    ASSERT_EQ(done.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<change::Rewrite>(done[0].change));
}

TEST_F(RecordTableTest, ExportStructureAsWritesWhatTheToolWritesButNeverOverItsInputs) {
    const QString header = dir + QStringLiteral("p.h");
    const QString ksy = dir + QStringLiteral("p.ksy");
    prompts.fileNames = {header, ksy};
    trigger("AexportCHeader");
    trigger("AexportKaitai");
    EXPECT_EQ(readFile(header), cli({QStringLiteral("export-c"), data}));
    EXPECT_EQ(readFile(ksy), cli({QStringLiteral("export-ksy"), data}));

    const QByteArray typeBytes = readFile(data + QStringLiteral(".type"));
    for (const QString& input : {data, data + QStringLiteral(".type")}) {
        prompts.fileNames.push_back(input);
        trigger("AexportCHeader");
        EXPECT_TRUE(prompts.messageTexts().last().contains(QStringLiteral("would overwrite")));
    }
    EXPECT_EQ(readFile(data), countingBytes(60));
    EXPECT_EQ(readFile(data + QStringLiteral(".type")), typeBytes);
    EXPECT_TRUE(done.empty());
}
