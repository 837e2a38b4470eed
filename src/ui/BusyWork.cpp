#include "ui/BusyWork.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QPromise>
#include <QTimer>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

#include "view/DocStrings.h"

namespace {
// Work done sooner than this shows no box at all.
constexpr int kBoxAfterMs = 300;
BusyHook g_busyHook;

// The workers started, each with the flag it raises when done. A worker whose
// result was dropped runs on; finished ones are joined at the next start, the
// rest when the program ends (before anything they use goes away). Touched on
// the window's thread only.
struct CWorker {
    std::thread thread;
    std::shared_ptr<const std::atomic<bool>> finished;
};
std::vector<CWorker>& Workers() {
    static auto* workers = new std::vector<CWorker>;  // outlives the joins at exit
    return *workers;
}
void JoinFinishedWorkers(bool all) {
    std::vector<CWorker>& workers = Workers();
    for (auto it = workers.begin(); it != workers.end();) {
        if (all || it->finished->load(std::memory_order_acquire)) {
            it->thread.join();
            it = workers.erase(it);
        } else {
            ++it;
        }
    }
}
void StartWorker(std::function<void()> body, std::shared_ptr<const std::atomic<bool>> finished) {
    static const bool joinAtExit = [] {
        qAddPostRoutine([] { JoinFinishedWorkers(true); });
        return true;
    }();
    (void)joinAtExit;
    JoinFinishedWorkers(false);
    Workers().push_back({std::thread(std::move(body)), std::move(finished)});
}
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
    StartWorker(
        [promise, shared, work = std::move(work)] {
            try {
                work();
            } catch (...) {
                shared->error =
                    std::current_exception();  // for the window's thread, as if run there
            }
            shared->finished.store(true, std::memory_order_release);
            promise->finish();
        },
        std::shared_ptr<const std::atomic<bool>>(shared, &shared->finished));
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
    // Blocks every window of the program, a floating command bar too.
    box.setWindowModality(Qt::ApplicationModal);
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
