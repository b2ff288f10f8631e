// Describe From Data and Import C Struct through their menu entries: the
// proposal or the struct picked in the dialog becomes the structure, in one
// document operation.
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "../engine/recordlayouts.h"
#include "cimport.h"
#include "cimportdialog.h"
#include "describedialog.h"
#include "operation.h"
#include "panelfixture.h"

namespace {

class DescribeImportTest : public PanelTest {
protected:
    DescribeImportTest() { realFieldList = true; }

    void hearOperations() {
        QObject::connect(&doc(), &Document::operationDone,
                         [this](const Operation& op) { done.push_back(op); });
    }
    // The one operation since the last call, as a replacement of segments.
    const change::ReplaceSegments* replaced() {
        EXPECT_EQ(done.size(), 1u);
        const auto* r = done.empty() ? nullptr : std::get_if<change::ReplaceSegments>(&done[0].change);
        EXPECT_NE(r, nullptr);
        return r;
    }
    template <typename T> static T* in(QDialog& d, const char* name) {
        T* w = d.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    std::vector<Operation> done;
};

} // namespace

// Without a segment the whole file is described: the header before the first
// record becomes an Anomaly segment of its own. Describing a segment again
// with a typed record length keeps its name and its tie to the file's end.
TEST_F(DescribeImportTest, DescribeFromDataPutsTheProposalInPlaceOfTheSegment) {
    const auto made = recordlayouts::makeRecordFile(2, true);
    openWith({}, QByteArray(reinterpret_cast<const char*>(made.bytes.data()),
                            static_cast<qsizetype>(made.bytes.size())));
    QAction* describe = act("A_partDescribe");
    ASSERT_NE(describe, nullptr);
    EXPECT_FALSE(describe->isEnabled()); // read-only
    trigger("AcanResetType");
    ASSERT_TRUE(describe->isEnabled());
    hearOperations();

    prompts.modals.push_back([&](QDialog& d) {
        EXPECT_NE(dynamic_cast<TdescribeData*>(&d), nullptr);
        in<QPushButton>(d, "BOK")->click();
        return d.result();
    });
    describe->trigger();
    ASSERT_EQ(segmentNames(), (std::vector<std::string>{"Header", "Records"}));
    EXPECT_TRUE(seg(0).anomaly);
    EXPECT_EQ(seg(0).length, made.header);
    const vm::Segment& records = seg(1);
    EXPECT_EQ(doc().segments().current(), &records);
    EXPECT_EQ(records.begin, made.header);
    EXPECT_EQ(records.recordLength, made.recordLength);
    EXPECT_EQ(records.recordCount, made.records);
    ASSERT_EQ(records.entries.size(), made.fields.size());
    for (std::size_t i = 0; i < made.fields.size(); ++i) {
        EXPECT_EQ(records.entries[i].start, made.fields[i].start) << i;
        EXPECT_EQ(records.entries[i].length, made.fields[i].length) << i;
        EXPECT_EQ(records.entries[i].kind, static_cast<int>(made.fields[i].kind)) << i;
    }
    EXPECT_EQ(find<QTreeWidget>("LV")->topLevelItemCount(), static_cast<int>(made.fields.size()));
    if (const auto* r = replaced()) {
        EXPECT_EQ(r->index, 0);
        EXPECT_TRUE(r->before.empty());
        EXPECT_EQ(r->after.size(), 2u);
    }

    // The records renamed and tied to the file's end, then described with
    // twice their length, typed in.
    setText("segName", QStringLiteral("Log"));
    find<QCheckBox>("cToFileEnd")->click();
    done.clear();
    const QString twice = QString::number(2 * made.recordLength);
    prompts.modals.push_back([&](QDialog& d) {
        in<QLineEdit>(d, "ELength")->setText(twice);
        in<QPushButton>(d, "BLength")->click();
        in<QPushButton>(d, "BOK")->click();
        return d.result();
    });
    describe->trigger();
    EXPECT_EQ(prompts.unanswered, 0);
    const vm::Segment* log = doc().segments().current();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->name, "Log");
    EXPECT_EQ(log->recordLength, 2 * made.recordLength);
    // The parts still cover exactly the bytes the segment covered, up to the
    // file's end, which the last of them stays tied to.
    ASSERT_GE(doc().segments().size(), 2u);
    std::int64_t at = 0;
    for (const auto& s : doc().segments()) {
        EXPECT_EQ(s->begin, at) << s->name;
        at = s->end();
    }
    EXPECT_EQ(at, static_cast<std::int64_t>(made.bytes.size()));
    EXPECT_TRUE(doc().segments()[doc().segments().size() - 1].toFilesEnd);
    if (const auto* r = replaced()) {
        EXPECT_EQ(r->index, 1);
        ASSERT_EQ(r->before.size(), 1u);
        EXPECT_EQ(r->before[0]->recordLength, made.recordLength);
    }
}

// The struct picked in the dialog gives the current segment its fields and
// record length as the compiler lays them out; the other segment stays.
TEST_F(DescribeImportTest, ImportCStructGivesTheCurrentSegmentTheStructsFields) {
    if (!vm::cImportBuiltIn())
        GTEST_SKIP() << vm::kCImportNotBuiltIn;
    openWith({{"Recs", 0, 8, 48, {{7, 0, 4, "a"}}}, {"Tail", 48, 4, 16, {{7, 0, 4, "t"}}}},
             countingBytes(64));
    QAction* import = act("A_importCStruct");
    ASSERT_NE(import, nullptr);
    EXPECT_EQ(import->text(), QString::fromUtf8("Import C Struct\xE2\x80\xA6"));
    EXPECT_FALSE(import->isEnabled());
    trigger("AcanResetType");
    ASSERT_TRUE(import->isEnabled());
    hearOperations();

    prompts.modals.push_back([&](QDialog& d) {
        EXPECT_NE(dynamic_cast<TimportCStruct*>(&d), nullptr);
        in<QPlainTextEdit>(d, "Eheader")
            ->setPlainText(QStringLiteral("#include <stdint.h>\n"
                                          "struct other { char c; };\n"
                                          "typedef struct { uint16_t id; double v; char tag[3]; "
                                          "} rec_t;\n"));
        auto* types = in<QListWidget>(d, "LvTypes");
        EXPECT_TRUE(QTest::qWaitFor([types] { return types->count() == 2; }));
        types->setCurrentRow(1);
        auto* ok = in<QPushButton>(d, "BOK");
        EXPECT_TRUE(ok->isEnabled());
        ok->click();
        return d.result();
    });
    import->trigger();
    const vm::Segment& recs = seg(0);
    ASSERT_EQ(recs.entries.size(), 3u);
    EXPECT_EQ(recs.entries[0].kind, static_cast<int>(vm::TypeKind::Unsigned2));
    EXPECT_EQ(recs.entries[1].kind, static_cast<int>(vm::TypeKind::Double8));
    EXPECT_EQ(recs.entries[1].start, 8);
    EXPECT_EQ(recs.entries[2].kind, static_cast<int>(vm::TypeKind::String));
    EXPECT_EQ(recs.entries[2].start, 16);
    EXPECT_EQ(recs.entries[2].length, 3);
    EXPECT_EQ(recs.recordLength, 24);
    EXPECT_EQ(recs.recordCount, 2); // 48 bytes hold two records of 24
    EXPECT_EQ(recs.name, "Recs");
    EXPECT_EQ(segmentNames(), (std::vector<std::string>{"Recs", "Tail"}));
    EXPECT_EQ(find<QTreeWidget>("LV")->topLevelItemCount(), 3);
    if (const auto* r = replaced()) {
        ASSERT_EQ(r->before.size(), 1u);
        EXPECT_EQ(r->before[0]->recordLength, 8);
        EXPECT_EQ(r->before[0]->entries.size(), 1u);
    }
    EXPECT_TRUE(doc().typeChanged());
}
