#include <QDockWidget>
#include <QScreen>

#include "toolsfixture.h"

namespace {

class DockTest : public ToolsTest {};

// The docked windows stack in one dock site and add up their heights. A
// window asked to be taller than its screen grows past it, maximised or not,
// which puts the status line, the position bar and the lower docks off
// screen: the docks give way (as tabs) instead.
TEST_F(DockTest, DockedWindowsNeverGrowTheWindowPastItsScreen) {
    openData(QByteArray(4096, '\1'));
    Tmain& w = tools();
    w.showMaximized();
    const QRect avail = w.screen()->availableGeometry();
    for (const char* name : {"ShowHint", "showFind"})
        trigger(name);
    auto* find = child<QDockWidget>("TFfind");
    auto* hint = child<QDockWidget>("TfcurShow");
    ASSERT_TRUE(find && hint);
    EXPECT_TRUE(find->isVisible() && hint->isVisible());
    QApplication::processEvents();
    EXPECT_LE(w.minimumSizeHint().height(), avail.height());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.frameGeometry().height() <= avail.height(); }))
        << w.frameGeometry().height() << " > " << avail.height();
    // The one shown last is on top of its tab group.
    EXPECT_FALSE(find->visibleRegion().isEmpty());
}

} // namespace
