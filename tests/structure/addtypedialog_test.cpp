#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "fieldfixture.h"

#include "addtypedialog.h"
#include "kinds.h"
#include "scriptedprompter.h"
#include "updownbuttons.h"

namespace {

class AddTypeTest : public ::testing::Test {
protected:
    AddTypeTest() : guard(prompts) {
        seg.name = "Recs";
        seg.length = 120;
        seg.entries = {field(14, 0, 30, "s"), field(7, 30, 4, "n")};
    }
    template <typename T> T* child(const char* name) {
        T* w = dlg.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void ok() { QTest::mouseClick(child<QPushButton>("Button1"), Qt::LeftButton); }

    ScriptedPrompter prompts;
    ScopedPrompter guard;
    vm::Segment seg;
    TAddAType dlg;
};

} // namespace

TEST_F(AddTypeTest, AddingProposesTheCopyWithItsKindsDefaultLength) {
    dlg.prepareAddType(seg, vm::proposeAddType(seg, dlg.proposal()), true);
    EXPECT_EQ(child<QLabel>("LsegName")->text(), QStringLiteral("Recs"));
    EXPECT_EQ(child<QLabel>("LrecCount")->text(), QStringLiteral("2"));
    EXPECT_EQ(child<QLabel>("LsegLength")->text(), QStringLiteral("120"));
    EXPECT_EQ(child<QLabel>("LcurRecordArray")->text(), QStringLiteral("0 To 1"));
    EXPECT_TRUE(child<QCheckBox>("CaddLast")->isChecked());
    EXPECT_FALSE(child<QLineEdit>("EcurRecord")->isEnabled());
    EXPECT_TRUE(child<QRadioButton>("RfillWith")->isChecked());
    EXPECT_FALSE(child<QComboBox>("CTranIndex")->isEnabled());
    EXPECT_EQ(child<QLineEdit>("EMemo")->text(), QStringLiteral("M0"));

    // The last field is a 4Bsigned; a string copied before it would still get 10.
    dlg.prepareAddType(seg, seg.entries[0], true);
    auto* length = child<QLineEdit>("Elength");
    EXPECT_EQ(child<QComboBox>("CKind")->currentText(), QStringLiteral("string"));
    EXPECT_EQ(length->text(), QStringLiteral("10"));
    EXPECT_TRUE(length->isEnabled());

    // The arrows keep the length between 1 and 254.
    length->setText(QStringLiteral("254"));
    QTest::mouseClick(child<UpDownButtons>("UDLength")->upButton(), Qt::LeftButton);
    EXPECT_EQ(length->text(), QStringLiteral("254"));
    QTest::mouseClick(child<UpDownButtons>("UDLength")->downButton(), Qt::LeftButton);
    EXPECT_EQ(length->text(), QStringLiteral("253"));

    // A fixed kind: its length, no arrows, and its zero value to fill with.
    choose(child<QComboBox>("CKind"), static_cast<int>(vm::TypeKind::Unsigned2));
    EXPECT_EQ(length->text(), QStringLiteral("2"));
    EXPECT_FALSE(length->isEnabled());
    auto* value = child<QLineEdit>("defValue");
    EXPECT_EQ(value->text(), QStringLiteral("0"));
    value->setText(QStringLiteral("258"));
    child<QLineEdit>("EMemo")->setText(QStringLiteral("w"));
    ok();
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_TRUE(dlg.newField());
    EXPECT_EQ(dlg.newField()->entry.start, 34);
    EXPECT_EQ(dlg.newField()->entry.memo, "w");
    EXPECT_EQ(dlg.newField()->fill, (std::vector<std::uint8_t>{2, 1}));
    EXPECT_FALSE(dlg.newField()->source);
    EXPECT_TRUE(prompts.records.empty());
}

TEST_F(AddTypeTest, InsertPositionAndSourceAreCheckedAndTheDialogStaysOpen) {
    dlg.setInsertIndex(1);
    dlg.prepareAddType(seg, seg.entries[1], false);
    auto* position = child<QLineEdit>("EcurRecord");
    EXPECT_TRUE(position->isEnabled());
    EXPECT_EQ(position->text(), QStringLiteral("1"));
    EXPECT_EQ(child<QComboBox>("CTranIndex")->currentIndex(), 1);
    EXPECT_EQ(child<QLineEdit>("EtranStart")->text(), QStringLiteral("30"));
    EXPECT_EQ(child<QLineEdit>("EtranTypeKind")->text(), QStringLiteral("4Bsigned"));

    position->setText(QStringLiteral("2"));
    ok();
    EXPECT_EQ(prompts.messageTexts(),
              QStringList{QStringLiteral("Insert Position mast betueen 0 To 1")});
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.newField());

    // Converting with no source chosen is refused too.
    position->setText(QStringLiteral("0"));
    child<QRadioButton>("Rtransform")->setChecked(true);
    EXPECT_TRUE(child<QComboBox>("CTranIndex")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>("defValue")->isEnabled());
    child<QComboBox>("CTranIndex")->setCurrentIndex(-1);
    ok();
    EXPECT_EQ(prompts.messageTexts().size(), 2);
    EXPECT_EQ(prompts.messageTexts().last(), QString::fromLatin1(vm::kNoSourceText));
    EXPECT_NE(dlg.result(), QDialog::Accepted);

    child<QComboBox>("CTranIndex")->setCurrentIndex(1);
    ok();
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_TRUE(dlg.newField());
    EXPECT_EQ(dlg.newField()->entry.start, 0);
    EXPECT_EQ(dlg.newField()->position, 0u);
    EXPECT_EQ(dlg.newField()->source, 1u);
}

// Add a Type in another segment after an Insert Type at row 1 here: the
// insert position and the source are this segment's, not row 1's of before.
TEST_F(AddTypeTest, AnotherSegmentStartsFromItsOwnFirstField) {
    dlg.setInsertIndex(1);
    dlg.prepareAddType(seg, seg.entries[1], false);
    vm::Segment other;
    other.entries = {field(6, 0, 2, "only")};
    dlg.prepareAddType(other, vm::proposeAddType(other, dlg.proposal()), true);
    EXPECT_EQ(child<QLineEdit>("EcurRecord")->text(), QStringLiteral("0"));
    EXPECT_EQ(child<QLineEdit>("EtranMemo")->text(), QStringLiteral("only"));
    child<QRadioButton>("Rtransform")->setChecked(true);
    ok();
    ASSERT_EQ(dlg.result(), QDialog::Accepted) << prompts.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(dlg.newField()->source, 0u);
}

TEST_F(AddTypeTest, AnEmptySegmentCanOnlyBeFilledAtItsEnd) {
    vm::Segment empty;
    dlg.setInsertIndex(3);
    dlg.prepareAddType(empty, std::nullopt, false);
    auto* addLast = child<QCheckBox>("CaddLast");
    EXPECT_TRUE(addLast->isChecked());
    EXPECT_FALSE(addLast->isEnabled());
    EXPECT_FALSE(child<QLineEdit>("EcurRecord")->isEnabled());
    EXPECT_EQ(child<QLabel>("LcurRecordArray")->text(), QString());
    EXPECT_FALSE(child<QRadioButton>("Rtransform")->isEnabled());
    EXPECT_FALSE(child<QRadioButton>("RfillWith")->isEnabled());
    ok();
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.newField()->entry.start, 0);
    EXPECT_EQ(dlg.newField()->entry.kind, 0);
    EXPECT_EQ(dlg.newField()->fill, (std::vector<std::uint8_t>{0}));
}
