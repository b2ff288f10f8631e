#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "cimportdialog.h"
#include "model.h"

namespace {

vm::CStructImport preview(bool ok) {
    vm::CStructImport p;
    p.ok = ok;
    if (!ok) {
        p.error = "Member data of packet is a flexible array member";
        return p;
    }
    p.recordLength = 8;
    for (auto [kind, start, memo] : {std::tuple{8, 0, "id"}, std::tuple{9, 4, "t\xE9mp"}}) {
        vm::TypeEntry e = vm::newTypeEntry(kind, memo, nullptr);
        e.start = static_cast<std::uint16_t>(start);
        p.fields.push_back(e);
    }
    return p;
}

// The dialog hands its owner what to parse and shows what comes back; OK
// takes only a preview that succeeded, for the type picked.
TEST(ImportCStructDialog, OwnerParsesAndOkTakesThePreview) {
    TimportCStruct dlg;
    QSignalSpy header(&dlg, &TimportCStruct::headerChanged);
    QSignalSpy chosen(&dlg, &TimportCStruct::typeChosen);
    auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("BOK"));
    auto* types = dlg.findChild<QListWidget*>(QStringLiteral("LvTypes"));
    auto* rows = dlg.findChild<QTableWidget*>(QStringLiteral("LvPreview"));
    ASSERT_TRUE(ok && types && rows);

    dlg.setTargets({"x86_64-linux-gnu", "i686-windows-msvc"});
    dlg.setHeader("/src/packet.h", "struct packet { unsigned id; float temp; };");
    dlg.findChild<QLineEdit*>(QStringLiteral("Edefines"))->setText(QStringLiteral("A=1  B"));
    dlg.findChild<QComboBox*>(QStringLiteral("Ctarget"))->setCurrentIndex(1);
    QTRY_COMPARE(header.count(), 1); // one request once the edits rest

    dlg.setTypes({"struct packet", "packet_t"}, "");
    EXPECT_FALSE(ok->isEnabled());
    types->setCurrentRow(1);
    EXPECT_EQ(chosen.count(), 1);
    const CImportChoice c = dlg.choice();
    EXPECT_EQ(c.headerPath, "/src/packet.h");
    EXPECT_EQ(c.headerText, "struct packet { unsigned id; float temp; };");
    EXPECT_EQ(c.target, "i686-windows-msvc");
    EXPECT_EQ(c.defines, (std::vector<std::string>{"A=1", "B"}));
    EXPECT_EQ(c.typeName, "packet_t");

    dlg.setPreview(preview(false));
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("Lmessage"))->text(),
              QStringLiteral("Member data of packet is a flexible array member"));
    dlg.setPreview(preview(true));
    ASSERT_EQ(rows->rowCount(), 2);
    EXPECT_EQ(rows->item(1, 0)->text(), QStringLiteral("4BFloat"));
    EXPECT_EQ(rows->item(1, 3)->text(), QString::fromUtf8("t\xC3\xA9mp"));

    // A new type list keeps the pick but not the preview, even after a list
    // emptied by an error typed on the way.
    dlg.setTypes({}, "error: expected ')'");
    dlg.setTypes({"struct packet", "packet_t"}, "");
    EXPECT_EQ(dlg.choice().typeName, "packet_t");
    EXPECT_FALSE(ok->isEnabled());
    dlg.setPreview(preview(true));
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.recordLength(), 8);
    EXPECT_EQ(dlg.fields().size(), 2u);
}

} // namespace
