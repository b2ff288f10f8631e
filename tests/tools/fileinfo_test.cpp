#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QFile>

#include "fileinfo/fileinfowindow.h"
#include "toolsfixture.h"

namespace {

class FileInfoTest : public ToolsTest {
protected:
    TFileInfo* info() { return child<TFileInfo>("TFileInfo"); }
    bool checked(const char* name) { return child<QCheckBox>(name)->isChecked(); }
};

} // namespace

TEST_F(FileInfoTest, ShowsBothFilesWithTimesInLocalTime) {
    const QString data = openWords(QByteArray(300, 'x'));
    QFile file(data);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QDateTime when(QDate(2006, 3, 4), QTime(9, 5, 3));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileAccessTime));
    file.close();

    prompts.clear();
    prompts.modals.push_back([](QDialog&) { return int(QDialog::Accepted); });
    trigger("AfileInfo");
    ASSERT_EQ(prompts.records.size(), 1u);
    EXPECT_EQ(prompts.records[0].title, "File Information");
    const vm::Locale& loc = doc().locale();
    const QChar ds(loc.dateSeparator), ts(loc.timeSeparator);
    const QString date = QStringLiteral("2006") + ds + "03" + ds + "04";
    EXPECT_EQ(text("EfileName"), data);
    EXPECT_EQ(text("EfileSize"), "300");
    EXPECT_EQ(text("EfixTime"), date + "  09" + ts + "05" + ts + "03");
    EXPECT_EQ(text("ElastVis"), date + " ");
    EXPECT_EQ(text("EfileName1"), data + ".type");
    EXPECT_FALSE(text("EfileSize1").isEmpty());
    EXPECT_FALSE(text("EcreateTime").isEmpty());
}

TEST_F(FileInfoTest, AttributesOfAReadOnlyHiddenFileAndTheTypeColumnKept) {
    tools();
    const QString hidden = dir + ".hidden.bin";
    writeFile(hidden, "abc");
    QFile::setPermissions(hidden, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    writeFile(dir + "t.type", "0123456789");
    ASSERT_TRUE(info()->fill(hidden, dir + "t.type"));
    EXPECT_TRUE(checked("CReadOnly"));
    EXPECT_TRUE(checked("Chidden"));
    EXPECT_FALSE(checked("CArchive"));
    EXPECT_FALSE(checked("CSystem"));

    const QString plain = dir + "plain.bin";
    writeFile(plain, "abcd");
    ASSERT_TRUE(info()->fill(plain, QString()));
    EXPECT_FALSE(checked("CReadOnly"));
    EXPECT_FALSE(checked("Chidden"));
    EXPECT_EQ(text("EfileSize"), "4");
    EXPECT_EQ(text("EfileName1"), dir + "t.type");
    EXPECT_EQ(text("EfileSize1"), "10");

    // A file that cannot be read: a message, and the window is not shown.
    QFile::remove(plain);
    prompts.clear();
    EXPECT_FALSE(info()->fill(plain, QString()));
    ASSERT_EQ(prompts.records.size(), 1u);
    EXPECT_TRUE(prompts.records[0].text.contains(plain));
}
