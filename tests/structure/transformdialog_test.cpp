#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "fieldfixture.h"

#include "kinds.h"
#include "scriptedprompter.h"
#include "transformdialog.h"

namespace {

class TransformTest : public ::testing::Test {
protected:
    TransformTest() : guard(prompts) {
        seg.name = "Recs";
        seg.recordCount = 7;
        seg.length = 154;
        seg.entries = {field(14, 2, 20, "name"), field(7, 2, 4, "name")};
    }
    template <typename T> T* child(const char* name) {
        T* w = dlg.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    ScriptedPrompter prompts;
    ScopedPrompter guard;
    vm::Segment seg;
    Ttransto dlg;
};

} // namespace

TEST_F(TransformTest, OkNeedsAChangeAndALengthFrom1To254) {
    dlg.prepareTransform(seg, 0);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Converts"));
    EXPECT_EQ(child<QLabel>("LrecCount")->text(), QStringLiteral("7"));
    EXPECT_EQ(child<QLineEdit>("SKind")->text(), QStringLiteral("string"));
    EXPECT_EQ(child<QLineEdit>("SLength")->text(), QStringLiteral("20"));
    auto* length = child<QLineEdit>("Clength");
    auto* ok = child<QPushButton>("BOK");
    // The kind handler put the default length in, so OK is there at once.
    EXPECT_EQ(length->text(), QStringLiteral("10"));
    EXPECT_TRUE(ok->isEnabled());
    length->setText(QStringLiteral("20"));
    EXPECT_FALSE(ok->isEnabled());
    length->setText(QStringLiteral("255"));
    ASSERT_TRUE(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(prompts.messageTexts(),
              QStringList{QStringLiteral("The type length must between 1 to 254")});
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.target());

    length->setText(QStringLiteral("254"));
    QTest::mouseClick(ok, Qt::LeftButton);
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_TRUE(dlg.target());
    EXPECT_EQ(dlg.target()->length, 254);
    EXPECT_EQ(dlg.target()->start, 2);
    EXPECT_EQ(dlg.target()->memo, "name");
}

TEST_F(TransformTest, FixedKindsTakeTheirOwnLength) {
    dlg.prepareTransform(seg, 1);
    auto* length = child<QLineEdit>("Clength");
    auto* ok = child<QPushButton>("BOK");
    EXPECT_FALSE(length->isEnabled());
    EXPECT_FALSE(ok->isEnabled());
    choose(child<QComboBox>("CKind"), static_cast<int>(vm::TypeKind::Double8));
    EXPECT_EQ(length->text(), QStringLiteral("8"));
    EXPECT_TRUE(ok->isEnabled());
    choose(child<QComboBox>("CKind"), static_cast<int>(vm::TypeKind::Signed4));
    EXPECT_FALSE(ok->isEnabled());
    choose(child<QComboBox>("CKind"), static_cast<int>(vm::TypeKind::Unknown));
    EXPECT_TRUE(length->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.target()->kind, 15);
    EXPECT_EQ(dlg.target()->length, 10);
}
