#include "app/shared/BackgroundWork.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

// The main thread looks this often whether the workers have ended: a look costs next to
// nothing, and all work waits for the last one. Progress is told every few dozen
// milliseconds, since a repaint costs more than a small file.
constexpr int kLookMs = 2;
constexpr int kLooksPerReport = 20;
// More readers than this only wait for the disk and for each other.
constexpr int kMaxWorkers = 4;

int g_running = 0;

} // namespace

bool RunInBackground(size_t count, const WorkJob& job,
                     const std::function<bool(size_t done)>& progress, std::atomic<bool>& stop) {
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    if (count == 0)
        return true;
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    const size_t workers = std::min<size_t>(
        count, static_cast<size_t>(std::clamp(QThread::idealThreadCount(), 1, kMaxWorkers)));
    std::atomic<size_t> running{workers};
    const auto work = [&] {
        for (size_t i = next++; i < count && !stop.load(); i = next++) {
            job(i, stop);
            ++done;
        }
        --running;
    };

    // The workers share nothing with Qt: the main thread looks at their counters.
    QEventLoop loop;
    QTimer look;
    look.setInterval(kLookMs);
    int looks = 0;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (running.load() == 0) {
            loop.quit();
            return;
        }
        if (++looks % kLooksPerReport == 0 && !stop.load() && !progress(done.load()))
            stop = true;
    });
    look.start();
    const QScopedValueRollback<int> busy(g_running, g_running + 1);
    std::vector<std::jthread> threads;
    for (size_t i = 0; i < workers; ++i)
        threads.emplace_back(work);
    loop.exec();
    look.stop();
    threads.clear();
    if (!stop.load())
        progress(done.load());
    return !stop.load() && done.load() == count;
}

bool RunWithProgress(QProgressDialog& dialog, size_t count, const WorkJob& job) {
    dialog.setRange(0, static_cast<int>(count));
    dialog.setValue(0);
    std::atomic<bool> stop{false};
    // At once, not at the next report: a large file stops within a read.
    const QMetaObject::Connection cancel =
        QObject::connect(&dialog, &QProgressDialog::canceled, [&stop] { stop = true; });
    const bool complete = RunInBackground(
        count, job,
        [&dialog](size_t done) {
            dialog.setValue(static_cast<int>(done));
            return !dialog.wasCanceled();
        },
        stop);
    QObject::disconnect(cancel);
    dialog.reset();
    return complete;
}

bool BackgroundWorkRunning() {
    return g_running > 0;
}
