#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include "fieldfixture.h"

#include "fieldframe.h"
#include "kinds.h"
#include "updownbuttons.h"

namespace {

// A field list as the panel keeps it: one row per entry, several selectable.
class FieldFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        seg.entries = {field(7, 0, 4, "a"), field(14, 4, 2, "b"), field(14, 8, 2, "c")};
        list.setSelectionMode(QAbstractItemView::ExtendedSelection);
        list.setSelectionBehavior(QAbstractItemView::SelectRows);
        for (std::size_t i = 0; i < seg.entries.size(); ++i)
            list.addTopLevelItem(new QTreeWidgetItem({QString::number(i)}));
        frame.setSegment(&seg);
        frame.setMode(vm::StructMode::Reset);
        frame.bindFrame(&list, true);
    }
    void select(std::initializer_list<int> rows) {
        list.clearSelection();
        for (int r : rows)
            list.topLevelItem(r)->setSelected(true);
        frame.reloadFrame();
    }
    template <typename T> T* child(const char* name) {
        T* w = frame.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::vector<int> starts() const {
        std::vector<int> out;
        for (const auto& e : seg.entries)
            out.push_back(e.start);
        return out;
    }

    vm::Segment seg;
    QTreeWidget list;
    TtypeFrame frame;
};

} // namespace

TEST_F(FieldFrameTest, SeveralFieldsShowWhatTheyShareAndTakeOneStartCascade) {
    auto* kind = child<QComboBox>("cKind");
    auto* start = child<QLineEdit>("Estart");
    auto* length = child<QLineEdit>("Elength");
    auto* memo = child<QLineEdit>("Ememo");
    EXPECT_EQ(kind->count(), vm::kKindCount);
    EXPECT_FALSE(start->isEnabled()); // nothing selected yet

    QSignalSpy changed(&frame, &TtypeFrame::fieldsChanged);
    select({0, 1, 2});
    EXPECT_EQ(changed.count(), 0); // showing a selection changes nothing
    EXPECT_EQ(kind->currentText(), QString());
    EXPECT_EQ(start->text(), QString());
    EXPECT_EQ(length->text(), QString());
    EXPECT_EQ(memo->text(), QStringLiteral("a"));
    EXPECT_TRUE(kind->isEnabled() && start->isEnabled());
    EXPECT_FALSE(length->isEnabled());
    EXPECT_FALSE(memo->isEnabled());

    QTest::keyClicks(start, QStringLiteral("10"));
    EXPECT_EQ(starts(), (std::vector<int>{10, 14, 16}));
    ASSERT_GE(changed.count(), 1);
    EXPECT_EQ(changed.last().at(0).value<QList<int>>(), (QList<int>{0, 1, 2}));
    EXPECT_FALSE(changed.last().at(1).toBool());

    // The up-down steps the start and so the cascade; it never goes below 0.
    QTest::mouseClick(child<UpDownButtons>("UDStart")->upButton(), Qt::LeftButton);
    EXPECT_EQ(start->text(), QStringLiteral("11"));
    EXPECT_EQ(starts(), (std::vector<int>{11, 15, 17}));
    select({1});
    start->setText(QStringLiteral("0"));
    QTest::mouseClick(child<UpDownButtons>("UDStart")->downButton(), Qt::LeftButton);
    EXPECT_EQ(start->text(), QStringLiteral("0"));
}

TEST_F(FieldFrameTest, LengthAndKindApplyToEverySelectedField) {
    auto* kind = child<QComboBox>("cKind");
    auto* length = child<QLineEdit>("Elength");
    QSignalSpy changed(&frame, &TtypeFrame::fieldsChanged);
    select({1, 2});
    EXPECT_EQ(kind->currentText(), QStringLiteral("string"));
    ASSERT_TRUE(length->isEnabled());
    EXPECT_EQ(length->text(), QStringLiteral("2"));

    // An emptied length is 10; 300 is ignored and refreshes nothing.
    length->clear();
    EXPECT_EQ(seg.entries[1].length, 10);
    EXPECT_EQ(seg.entries[2].length, 10);
    EXPECT_TRUE(changed.last().at(1).toBool());
    const auto before = changed.count();
    length->setText(QStringLiteral("300"));
    EXPECT_EQ(changed.count(), before);
    EXPECT_EQ(seg.entries[1].length, 10);

    // A kind resets the length to its default, for a variable-length kind too,
    // also when it is the kind the fields already have.
    seg.entries[1].length = 33;
    choose(kind, static_cast<int>(vm::TypeKind::String));
    EXPECT_EQ(seg.entries[1].length, 10);
    seg.entries[1].length = 33;
    choose(kind, static_cast<int>(vm::TypeKind::Unknown));
    EXPECT_EQ(seg.entries[1].length, 10);
    EXPECT_EQ(seg.entries[2].kind, 15);
    choose(kind, static_cast<int>(vm::TypeKind::Double8));
    EXPECT_EQ(seg.entries[1].length, 8);
    EXPECT_EQ(length->text(), QStringLiteral("8"));
    EXPECT_FALSE(length->isEnabled());
    EXPECT_EQ(seg.entries[0].kind, 7); // not selected
}

// Six wheel notches over the kind box once turned the selected fields into
// 10-byte strings; only a box the user is working in takes the wheel.
TEST_F(FieldFrameTest, TheKindBoxTakesTheWheelOnlyWithTheFocus) {
    auto* kind = child<QComboBox>("cKind");
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    select({0, 1});
    auto wheel = [kind] {
        const QPointF at(kind->width() / 2.0, kind->height() / 2.0);
        QWheelEvent e(at, kind->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(kind, &e);
    };
    for (int notch = 0; notch < 6; ++notch)
        wheel();
    EXPECT_EQ(seg.entries[0].kind, 7);
    EXPECT_EQ(seg.entries[1].kind, 14);
    kind->setFocus();
    QTRY_VERIFY(kind->hasFocus());
    wheel();
    EXPECT_NE(seg.entries[0].kind, 7);
}

TEST_F(FieldFrameTest, EditModeOffersOnlyTheMemoAndReadOnlyNothing) {
    frame.setMode(vm::StructMode::Edit);
    select({0, 2});
    auto* memo = child<QLineEdit>("Ememo");
    EXPECT_FALSE(child<QComboBox>("cKind")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>("Estart")->isEnabled());
    EXPECT_FALSE(child<UpDownButtons>("UDStart")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>("Elength")->isEnabled());
    ASSERT_TRUE(memo->isEnabled());
    memo->setText(QStringLiteral("Temp\u20AC"));
    EXPECT_EQ(seg.entries[0].memo, "Temp\x80");
    EXPECT_EQ(seg.entries[2].memo, "Temp\x80");
    EXPECT_EQ(seg.entries[1].memo, "b");

    frame.setMode(vm::StructMode::ReadOnly);
    frame.reloadFrame();
    EXPECT_FALSE(memo->isEnabled());
}
