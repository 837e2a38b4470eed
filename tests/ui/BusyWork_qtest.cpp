// Work off the window's thread: the window's loop goes on while it runs, a box
// with 取消 shows once it takes a while, 取消 returns at once and drops the
// result, and a failure reaches the window's thread as if the work had run there.
#include <QProgressDialog>
#include <QPushButton>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "ui/BusyWork.h"

namespace {
// Waits for the gate, but never for ever: a broken loop fails the test instead
// of hanging it.
bool WaitFor(const std::atomic<bool>& gate) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!gate && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return gate;
}
}  // namespace

class CBusyWorkTest : public QObject {
    Q_OBJECT
private slots:
    void theWindowGoesOnWhileItRuns() {
        // Only the window's loop opens the gate the work waits at.
        auto gate = std::make_shared<std::atomic<bool>>(false);
        QTimer::singleShot(0, [gate] { *gate = true; });
        const auto result =
            RunOffWindow<int>(nullptr, "x", [gate] { return WaitFor(*gate) ? 42 : -1; });
        QCOMPARE(result, std::optional<int>(42));
    }

    void cancelReturnsAtOnceAndDropsTheResult() {
        auto gate = std::make_shared<std::atomic<bool>>(false);
        auto finished = std::make_shared<std::atomic<bool>>(false);
        QString asked;
        SetBusyHook([&asked](const QString& what) {
            asked = what;
            return true;  // 取消
        });
        const auto result = RunOffWindow<int>(nullptr, "正在转换数据…", [gate, finished] {
            WaitFor(*gate);
            *finished = true;
            return 1;
        });
        SetBusyHook({});
        QVERIFY(!result);
        QCOMPARE(asked, QString("正在转换数据…"));
        QVERIFY(!*finished);  // back while the work still runs
        *gate = true;
        QVERIFY(WaitFor(*finished));
    }

    void theBoxShowsAfterAMomentAndCancels() {
        // The real box: what it says, and its 取消 pressed as soon as it shows.
        auto gate = std::make_shared<std::atomic<bool>>(false);
        QString said;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, [&said] {
            auto* box = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            if (!box || !said.isEmpty()) return;
            said = box->labelText();
            for (auto* button : box->findChildren<QPushButton*>())
                if (button->text() == "取消") button->click();
        });
        poll.start();
        const auto result = RunOffWindow<int>(nullptr, "正在校正坐标…", [gate] {
            WaitFor(*gate);
            return 1;
        });
        poll.stop();
        *gate = true;
        QVERIFY(!result);
        QCOMPARE(said, QString("正在校正坐标…"));
    }

    void aFailureComesBackToTheWindow() {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, RunOffWindow<int>(nullptr, "x", []() -> int {
                                     throw std::runtime_error("x");
                                 }));
    }
};

QTEST_MAIN(CBusyWorkTest)
#include "BusyWork_qtest.moc"
