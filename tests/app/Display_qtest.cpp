// The real program on a virtual X display: after the full start-up (splash
// and pause included) the window's title, as the X server holds it, is the
// fixed caption and the window covers the screen.
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

class CDisplayTest : public QObject {
    Q_OBJECT
private slots:
    void titleAndSizeOnXvfb() {
        const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
        const QString xprop = QStandardPaths::findExecutable("xprop");
        const QString program = QString(JVS_BINARY_DIR) + "/bin/jvs-transfer";
        if (xvfbRun.isEmpty() || xprop.isEmpty()) QSKIP("xvfb-run or xprop is not installed");
        QVERIFY2(QFile::exists(program), qPrintable(program));
        // The program prints its window id once up; the X server is then asked.
        const QString script =
            QString(
                "\"%1\" --report-window > \"$TMPDIR_/out\" 2>/dev/null & pid=$!\n"
                "for i in $(seq 1 150); do grep -q '^WINID' \"$TMPDIR_/out\" && break; sleep 0.1; "
                "done\n"
                "cat \"$TMPDIR_/out\"\n"
                "id=$(sed -n 's/^WINID //p' \"$TMPDIR_/out\")\n"
                "xprop -id \"$id\" _NET_WM_NAME WM_NAME\n"
                "xwininfo -id \"$id\" 2>/dev/null | sed -n 's/^ *\\(Width\\|Height\\): */X\\1 /p'\n"
                "xwininfo -root | sed -n 's/^ *\\(Width\\|Height\\): */R\\1 /p'\n"
                "kill $pid; wait $pid 2>/dev/null\n")
                .arg(program);
        QTemporaryDir tmp;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");  // the real display system this time
        env.insert("TMPDIR_", tmp.path());
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(tmp.path());
        p.start(xvfbRun, {"-a", "-s", "-screen 0 1024x768x24", "sh", "-c", script});
        QVERIFY(p.waitForFinished(40000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(out.contains("WINID"), qPrintable(out + p.readAllStandardError()));
        QVERIFY2(
            out.contains(QString::fromUtf8("_NET_WM_NAME(UTF8_STRING) = \"恒钧全站仪传输软件 \"")),
            qPrintable(out));
        QVERIFY2(out.contains("MAXIMIZED 1"), qPrintable(out));
        const auto value = [&out](const QString& key) {
            const QRegularExpression re("^" + key + " (\\d+)$",
                                        QRegularExpression::MultilineOption);
            return re.match(out).captured(1).toInt();
        };
        QCOMPARE(value("RWidth"), 1024);
        QCOMPARE(value("XWidth"), value("RWidth"));
        QCOMPARE(value("XHeight"), value("RHeight"));
    }
};

QTEST_GUILESS_MAIN(CDisplayTest)
#include "Display_qtest.moc"
