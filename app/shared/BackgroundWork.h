#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

class QProgressDialog;

// One piece of work: the index-th of its kind. It runs on a worker thread, must not throw,
// show a message box or touch a widget, and should end soon once stop is true.
using WorkJob = std::function<void(size_t index, const std::atomic<bool>& stop)>;

// Runs job for every index below count on worker threads, while the calling (main) thread
// goes on handling events. progress is called on the calling thread now and then with the
// number of jobs done. Once stop is true (set by progress returning false, or by anything the
// events run), no further job starts and the running ones see it. Returns once every started
// job has ended: true when all of them ran and nothing stopped them.
bool RunInBackground(size_t count, const WorkJob& job,
                     const std::function<bool(size_t done)>& progress, std::atomic<bool>& stop);

// The same, with dialog showing how many of count are done; its Cancel stops the work.
bool RunWithProgress(QProgressDialog& dialog, size_t count, const WorkJob& job);

// Whether the main thread is inside RunInBackground: work of other windows waits until it
// has ended, so that nothing runs inside its event loop that it would then wait for.
bool BackgroundWorkRunning();
