#include <QAbstractItemModelTester>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "scriptedprompter.h"
#include "tablereportdialog.h"
#include "tablereportmodel.h"

namespace {

vm::TableValueReport report(int n) {
    vm::TableValueReport r;
    r.line = n + 2;
    r.record = n;
    r.column = "temp\tx";
    r.text = std::to_string(n * 1000);
    r.fit = n % 2 ? vm::EncodeFit::Cut : vm::EncodeFit::NotEncoded;
    r.reason = "why";
    r.holds = "é";
    return r;
}

} // namespace

// More reports than are listed: the list stops with a line that counts the
// rest (the model's signals checked all along), and saving writes every one
// of them, as the command-line tool lists them.
TEST(TableReport, ListsTheFirstReportsAndSavesThemAll) {
    TableReportModel model(nullptr, 20);
    QAbstractItemModelTester tester(&model);
    std::string expected;
    for (int i = 0; i < 25; ++i) {
        model.add(report(i));
        vm::appendTableReport(expected, report(i));
    }
    ASSERT_EQ(model.rowCount(), 21);
    EXPECT_EQ(model.index(1, 3).data().toString(), QStringLiteral("cut"));
    EXPECT_EQ(model.index(0, 6).data().toString(), QStringLiteral("é"));
    EXPECT_TRUE(model.index(20, 0).data().toString().contains(QStringLiteral("5 more")));
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(model.save(dir.filePath(QStringLiteral("all.txt")), &error)) << error.toStdString();
    QFile all(dir.filePath(QStringLiteral("all.txt")));
    ASSERT_TRUE(all.open(QIODevice::ReadOnly));
    EXPECT_EQ(all.readAll().toStdString(), expected);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
}

// The window's Save button asks for a name and writes the list; a file that
// cannot be written says why.
TEST(TableReport, SaveButtonWritesTheListOrSaysWhyNot) {
    TtableReport w;
    std::string expected;
    for (int i = 0; i < 3; ++i) {
        w.add(report(i));
        vm::appendTableReport(expected, report(i));
    }
    ASSERT_TRUE(w.findChild<QTableView*>(QStringLiteral("lvReport")));
    QTemporaryDir dir;
    ScriptedPrompter prompts;
    ScopedPrompter scoped(prompts);
    const QString path = dir.filePath(QStringLiteral("report.txt"));
    prompts.fileNames = {path, dir.filePath(QStringLiteral("no/such/folder/report.txt"))};
    QPushButton* save = w.findChild<QPushButton*>(QStringLiteral("Bsave"));
    ASSERT_TRUE(save);
    QTest::mouseClick(save, Qt::LeftButton);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), expected);

    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_EQ(prompts.messageTexts().size(), 1);
    EXPECT_TRUE(prompts.messageTexts()[0].startsWith(QStringLiteral("Cannot write ")));
}
