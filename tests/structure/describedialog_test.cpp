#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "../engine/recordlayouts.h"
#include "codec.h"
#include "cp1252.h"
#include "describedialog.h"

namespace {

template <typename T> T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

} // namespace

// The dialog shows each proposal's fields and its first records decoded with
// them; picking another record length, or typing one, shows that one.
TEST(DescribeDialog, ShowsTheChosenProposalAndItsRecords) {
    const auto made = recordlayouts::makeRecordFile(3, true);
    const vm::MemorySource data(made.bytes);
    vm::DescribeOptions options;
    options.proposals = 3;
    const vm::DescribeResult r = vm::describeRecords(data, 0, -1, options);
    ASSERT_TRUE(r.ok);
    int asked = 0;
    TdescribeData dlg(data, r.proposals, [&](int length) -> std::optional<vm::RecordProposal> {
        ++asked;
        vm::DescribeOptions forced;
        forced.recordLength = length;
        const vm::DescribeResult f = vm::describeRecords(data, 0, -1, forced);
        return f.ok ? std::optional(f.proposals.front()) : std::nullopt;
    });
    auto* lengths = child<QComboBox>(dlg, "CLength");
    auto* fields = child<QTableWidget>(dlg, "LvFields");
    auto* preview = child<QTableWidget>(dlg, "GPreview");
    ASSERT_EQ(lengths->count(), static_cast<int>(r.proposals.size()));

    auto checkShown = [&](const vm::RecordProposal& p) {
        EXPECT_EQ(dlg.chosen().recordLength, p.recordLength);
        ASSERT_EQ(fields->rowCount(), static_cast<int>(p.fields.size()));
        ASSERT_EQ(preview->columnCount(), static_cast<int>(p.fields.size()));
        EXPECT_EQ(preview->rowCount(),
                  std::min<std::int64_t>(p.recordCount, TdescribeData::kPreviewRecords));
        const int last = preview->rowCount() - 1;
        for (std::size_t k = 0; k < p.fields.size(); ++k) {
            const vm::FieldProposal& f = p.fields[k];
            EXPECT_EQ(fields->item(static_cast<int>(k), 1)->text().toInt(), f.start);
            const std::int64_t pos = p.firstRecord + std::int64_t{last} * p.recordLength + f.start;
            EXPECT_EQ(preview->item(last, static_cast<int>(k))->text().toStdString(),
                      vm::cp1252ToUtf8(vm::decodeValue(data, pos, f.kind, f.length)));
        }
    };
    checkShown(r.proposals[0]);
    lengths->setCurrentIndex(1);
    checkShown(r.proposals[1]);

    // A length typed in is described once and then picked from the list.
    auto* length = child<QLineEdit>(dlg, "ELength");
    length->setText(QString::number(made.recordLength + 3));
    child<QPushButton>(dlg, "BLength")->click();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(lengths->count(), static_cast<int>(r.proposals.size()) + 1);
    EXPECT_EQ(dlg.chosen().recordLength, made.recordLength + 3);
    length->setText(QString::number(r.proposals[0].recordLength));
    child<QPushButton>(dlg, "BLength")->click();
    EXPECT_EQ(asked, 1);
    checkShown(r.proposals[0]);
    length->setText(QStringLiteral("ten"));
    child<QPushButton>(dlg, "BLength")->click();
    EXPECT_EQ(asked, 1);

    // Enter in the box describes the length typed and leaves the choice open.
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    length->setFocus();
    length->setText(QString::number(made.recordLength + 5));
    QTest::keyClick(length, Qt::Key_Return);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(dlg.chosen().recordLength, made.recordLength + 5);
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(dlg.isVisible());
}
