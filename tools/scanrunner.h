#pragma once

#include <functional>

#include <QObject>
#include <QTimer>

#include "workingfile.h"

// Drives a resumable scan (find, compare) on the interface thread: one slice
// of about 25 ms at a time, with the events handled in between, so that the
// windows stay responsive and Stop, closing and repainting work meanwhile.
class ScanRunner : public QObject {
    Q_OBJECT
public:
    // A slice scans until the progress callback it is given returns false;
    // it returns true when the scan is complete.
    using Slice = std::function<bool(const vm::Progress& progress)>;

    explicit ScanRunner(QObject* parent = nullptr);

    // Runs slice after slice until it completes or stop() is called; done is
    // called then (with true when the scan completed). A running scan is stopped first.
    void start(Slice slice, std::function<void(bool completed)> done);
    // Ends the run before anything else happens: no slice runs afterwards.
    void stop();
    bool running() const { return static_cast<bool>(m_slice); }

    static constexpr int kSliceMs = 25;

private:
    void runSlice();
    void end(bool completed);

    QTimer m_timer;
    Slice m_slice;
    std::function<void(bool)> m_done;
};
