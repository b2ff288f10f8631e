#include "scanrunner.h"

#include <chrono>

ScanRunner::ScanRunner(QObject* parent) : QObject(parent) {
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &ScanRunner::runSlice);
}

void ScanRunner::start(Slice slice, std::function<void(bool)> done) {
    stop();
    m_slice = std::move(slice);
    m_done = std::move(done);
    m_timer.start();
}

void ScanRunner::stop() {
    if (running())
        end(false);
}

void ScanRunner::end(bool completed) {
    m_timer.stop();
    m_slice = nullptr;
    // The handler may start the next run.
    auto done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(completed);
}

void ScanRunner::runSlice() {
    if (!m_slice)
        return;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kSliceMs);
    const vm::Progress progress = [deadline](double) { return Clock::now() < deadline; };
    // The slice may stop the run itself (its data went away).
    const Slice slice = m_slice;
    if (slice(progress) && m_slice)
        end(true);
}
