#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include "datahint/datahintwindow.h"
#include "recordpane.h"
#include "segmentgrid.h"
#include "toolsfixture.h"

namespace {

class DataHintTest : public ToolsTest {
protected:
    TfcurShow* hint() { return child<TfcurShow>("TfcurShow"); }
    // Chooses the shown kinds through the setup dialog.
    void choose(const std::vector<int>& kinds) {
        prompts.modals.push_back([kinds](QDialog& d) {
            auto* list = d.findChild<QListWidget*>(QStringLiteral("ChB"));
            for (int i = 0; i < list->count(); ++i)
                list->item(i)->setCheckState(Qt::Unchecked);
            for (int k : kinds)
                list->item(k)->setCheckState(Qt::Checked);
            d.findChild<QPushButton*>(QStringLiteral("ok"))->click();
            return d.result();
        });
        child<QToolButton>("SpeedButton1")->click();
    }
    QStringList rows(const char* prefix) {
        QStringList out;
        for (int i = 0; i < TfcurShow::kRows; ++i)
            out << text(QStringLiteral("%1%2").arg(prefix).arg(i).toLatin1().constData());
        return out;
    }
};

} // namespace

TEST_F(DataHintTest, TypedBytesAreReadAsTheChosenKindsAndTheChoiceIsPartOfTheStructure) {
    const QString data = openWords(QByteArray(16, '\0'));
    // The type file showed every kind.
    EXPECT_EQ(rows("hintName")[15], "unKnow");
    EXPECT_FALSE(doc().typeChanged());

    choose({6, 3});
    EXPECT_TRUE(doc().typeChanged());
    QStringList names = rows("hintName");
    EXPECT_EQ(names.mid(0, 3), (QStringList{"1BChar", "2Bunsigned", ""}));
    type("hexValue", QStringLiteral("41 42 43"));
    EXPECT_EQ(rows("hintValue").mid(0, 3), (QStringList{"A", "16961", ""}));

    // Cancel changes nothing; saving stores the choice, reading replaces it.
    prompts.modals.push_back([](QDialog& d) {
        d.findChild<QPushButton*>(QStringLiteral("cancel"))->click();
        return d.result();
    });
    child<QToolButton>("SpeedButton1")->click();
    EXPECT_EQ(rows("hintName")[0], "1BChar");
    trigger("AsaveType");
    vm::TypeReadResult saved = vm::readTypeFile(toNative(data + ".type"), 16);
    ASSERT_TRUE(saved.ok);
    for (int k = 0; k < vm::kKindCount; ++k)
        EXPECT_EQ(saved.content.dataHint[static_cast<std::size_t>(k)], k == 3 || k == 6) << k;

    choose({});
    EXPECT_EQ(rows("hintName"), QStringList(TfcurShow::kRows, QString()));
    type("hexValue", QStringLiteral("41"));
    EXPECT_EQ(rows("hintValue"), QStringList(TfcurShow::kRows, QString()));
    prompts.fileNames.push_back(data + ".type");
    trigger("AopenType");
    EXPECT_EQ(rows("hintName").mid(0, 2), (QStringList{"1BChar", "2Bunsigned"}));
}

TEST_F(DataHintTest, BadHexIsFlaggedAndTypedValuesFillTheHexBox) {
    openWords(QByteArray(16, '\0'));
    choose({1, 9});
    type("hexValue", QStringLiteral("4G"));
    auto* label = child<QLabel>("LabelHexS");
    EXPECT_EQ(label->text(), "Input Erro");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), RecordPane::hitColour());
    EXPECT_EQ(rows("hintValue")[0], "4"); // the valid digit still counts
    type("hexValue", QStringLiteral("4F"));
    EXPECT_EQ(label->text(), "Hex Value");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::black));

    // No kind chosen yet: the bytes stay zero.
    type("Value", QStringLiteral("1"));
    EXPECT_EQ(text("hexValue"), "00 00 00 00 00 00 00 00 00 00 ");
    child<QComboBox>(child<QWidget>("TfcurShow"), "Ckind")->setCurrentIndex(9);
    EXPECT_EQ(text("hexValue"), "00 00 80 3F 00 00 00 00 00 00 ");
    EXPECT_EQ(rows("hintValue").mid(0, 2), (QStringList{"0", "1"}));
    type("Value", QStringLiteral("nonsense"));
    EXPECT_EQ(text("hexValue"), "00 00 00 00 00 00 00 00 00 00 ");
}

TEST_F(DataHintTest, HoverFeedsTheWindowOnlyWhileItIsShown) {
    QByteArray bytes(16, '\0');
    bytes[4] = 'Z';
    bytes[5] = 1;
    openWords(bytes);
    choose({3});
    SegmentGrid* grid = tools().findChild<SegmentGrid*>(QStringLiteral("segmentGrid"));
    ASSERT_NE(grid, nullptr);
    QTest::mouseMove(grid->viewport(), grid->cellRect(1, 2).center());
    EXPECT_EQ(text("pos"), "");

    trigger("ShowHint");
    EXPECT_TRUE(hint()->isVisible());
    QTest::mouseMove(grid->viewport(), grid->cellRect(1, 3).center());
    QTest::mouseMove(grid->viewport(), grid->cellRect(1, 2).center());
    EXPECT_EQ(text("pos"), "4");
    EXPECT_EQ(text("hexValue"), "5A 01 00 00 00 00 00 00 00 00 ");
    EXPECT_EQ(rows("hintValue")[0], "Z");

    hint()->close();
    EXPECT_FALSE(act("ShowHint")->isChecked());
}

TEST_F(DataHintTest, NoKindIsShownBeforeAStructureAndTheSlotsWithoutAKindStayClear) {
    tools();
    EXPECT_EQ(doc().dataHintFlags(), vm::DataHintFlags{});
    EXPECT_EQ(rows("hintName"), QStringList(TfcurShow::kRows, QString()));
    // The test's type files set all 21 flag bytes; what is saved sets the 16 kinds' only.
    openWords(QByteArray(16, '\0'));
    const QString saved = dir + QStringLiteral("saved.type");
    QString error;
    ASSERT_TRUE(doc().writeTypeFile(saved, &error)) << error.toStdString();
    const QByteArray bytes = readFile(saved);
    EXPECT_EQ(bytes.mid(137, 21), QByteArray(16, '\1') + QByteArray(5, '\0'));
}
