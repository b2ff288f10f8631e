#pragma once

#include <memory>

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "gridtesthost.h"
#include "recordpane.h"
#include "segmentgrid.h"

// A record pane in a shown top-level window over a TestHost.
class GridFixture : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        pane = new RecordPane(&host, window.get());
        host.pane = pane;
        QObject::connect(pane, &RecordPane::positionRequested,
                         [this](qint64 offset) { host.locatePosition(offset); });
        window->resize(640, 400);
        pane->setGeometry(0, 0, 640, 400);
    }
    void TearDown() override {
        window.reset();
        host.pane = nullptr;
    }
    // Shows the window and lays out the grids from the current segment.
    void showPane() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        pane->layoutSegmentGrids(host.segments().current());
    }
    SegmentGrid* grid(vm::Segment& s) { return pane->mainGrid(&s); }

    TestHost host;
    std::unique_ptr<QWidget> window;
    RecordPane* pane = nullptr;
};
