#include "ui/BusyWork.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <exception>
#include <thread>

#include "view/DocStrings.h"

namespace {
// Work done sooner than this shows no box at all.
constexpr int kBoxAfterMs = 300;
BusyHook g_busyHook;
}  // namespace

void SetBusyHook(BusyHook hook) {
    g_busyHook = std::move(hook);
}

bool RunOffWindow(QWidget* parent, const QString& what, std::function<void()> work) {
    auto promise = std::make_shared<QPromise<void>>();
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    bool done = false;
    QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    watcher.setFuture(promise->future());
    promise->start();
    // What the worker leaves for the window, handed over through our own
    // atomic (the sanitizer does not see Qt's own ordering).
    struct CShared {
        std::atomic<bool> finished{false};
        std::exception_ptr error;
    };
    auto shared = std::make_shared<CShared>();
    // The global pool is waited for when the program ends, so a worker whose
    // result was dropped never outlives what it uses.
    QThreadPool::globalInstance()->start([promise, shared, work = std::move(work)] {
        try {
            work();
        } catch (...) {
            shared->error = std::current_exception();  // for the window's thread, as if run there
        }
        shared->finished.store(true, std::memory_order_release);
        promise->finish();
    });
    const auto finish = [&] {
        while (!shared->finished.load(std::memory_order_acquire)) std::this_thread::yield();
        if (shared->error) std::rethrow_exception(shared->error);
        return true;
    };
    if (g_busyHook) {
        if (g_busyHook(what)) return false;
        if (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
        return finish();
    }
    // Painting and timers go on; the user's keys and clicks wait for the
    // result, so nothing changes the text under the work.
    QTimer::singleShot(kBoxAfterMs, &loop, [&loop] { loop.quit(); });
    if (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (done) return finish();
    QProgressDialog box(what, QString::fromUtf8("取消"), 0, 0, parent);
    box.setWindowTitle(QString::fromUtf8(doctext::kAppTitle));
    box.setWindowModality(Qt::WindowModal);
    box.setMinimumDuration(0);
    bool cancelled = false;
    const auto cancel = [&] {
        cancelled = true;
        loop.quit();
    };
    QObject::connect(&box, &QProgressDialog::canceled, &loop, cancel);
    QObject::connect(&box, &QDialog::rejected, &loop, cancel);  // Esc
    box.show();
    if (!done) loop.exec();
    if (cancelled) return false;
    return finish();
}
