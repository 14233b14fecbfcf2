// The programs as a user starts them: their command-line answers, and the
// editor ending cleanly on SIGTERM and SIGINT.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "version.h"

namespace {

QString program(const char* name) { return QStringLiteral(KORVANE_BIN_DIR "/") + QLatin1String(name); }

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString& exe, const QStringList& args) {
    QProcess p;
    p.start(exe, args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

}  // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void commandLines_data() {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stream");
        QTest::addColumn<QStringList>("expected");

        const QString version = QString::fromLatin1(korvane::kVersion.data(), korvane::kVersion.size());
        QTest::newRow("editor --version") << program("korvane-editor") << QStringList{"--version"} << 0
                                          << "out" << QStringList{"korvane-editor " + version + "\n"};
        QTest::newRow("cli --version") << program("korvane") << QStringList{"--version"} << 0 << "out"
                                       << QStringList{"korvane " + version + "\n"};
        QTest::newRow("editor --help") << program("korvane-editor") << QStringList{"--help"} << 0 << "out"
                                       << QStringList{"--version", "F1"};
        // An unknown command is named and the known ones are listed, so the
        // user sees at once what was meant.
        QTest::newRow("cli unknown command")
            << program("korvane") << QStringList{"bogus"} << 1 << "err"
            << QStringList{"unknown command 'bogus'", "ports", "encode", "send"};
        // A known command with the wrong arguments is not called unknown.
        QTest::newRow("cli known command, wrong arguments")
            << program("korvane") << QStringList{"encode"} << 1 << "err" << QStringList{"'encode'"};
        // The simulator's --version takes a value; its help must not let a
        // user expect the program's version from it.
        QTest::newRow("sim --help") << program("korvane-sim") << QStringList{"--help"} << 0 << "out"
                                    << QStringList{"--version TEXT", "does not print"};
    }

    void commandLines() {
        QFETCH(QString, exe);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, stream);
        QFETCH(QStringList, expected);
        const Run r = run(exe, args);
        QCOMPARE(r.exitCode, exitCode);
        const QString& text = stream == "out" ? r.out : r.err;
        if (expected.size() == 1 && expected.front().endsWith('\n')) {
            QCOMPARE(text, expected.front());
            return;
        }
        for (const QString& part : expected)
            QVERIFY2(text.contains(part), qPrintable(part + " not in: " + text));
        if (stream == "err" && exitCode == 1 && args == QStringList{"encode"})
            QVERIFY2(!text.contains("unknown command"), qPrintable(text));
    }

    // The list an unknown command prints is kept by hand beside the help
    // text; a command added to one and not the other would be hidden from
    // the user who mistyped it.
    void unknownCommandListsEveryCommandOfTheHelp() {
        const Run help = run(program("korvane"), {"--help"});
        QCOMPARE(help.exitCode, 0);
        QStringList commands;
        const QRegularExpression usageLine(QStringLiteral("^  korvane ([a-z-]+)"),
                                           QRegularExpression::MultilineOption);
        for (auto it = usageLine.globalMatch(help.out); it.hasNext();) commands << it.next().captured(1);
        QVERIFY2(commands.size() >= 3, qPrintable(help.out));

        const Run unknown = run(program("korvane"), {"bogus"});
        QCOMPARE(unknown.exitCode, 1);
        const QString listLine = unknown.err.section('\n', 1, 1);
        const QStringList listed = listLine.section(':', 1).split(' ', Qt::SkipEmptyParts);
        for (const QString& command : commands)
            QVERIFY2(listed.contains(command), qPrintable(command + " missing from: " + listLine));
    }

    // A logout sends SIGTERM, Ctrl+C in the terminal SIGINT: either closes
    // the editor like its close button, the log's last line is "Close" and
    // the status is 0.
    void signalClosesLikeTheCloseButton_data() {
        QTest::addColumn<int>("signo");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void signalClosesLikeTheCloseButton() {
        QFETCH(int, signo);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_DATA_HOME", root.path() + "/data");
        env.insert("XDG_CONFIG_HOME", root.path() + "/config");
        env.insert("XDG_RUNTIME_DIR", root.path() + "/run");
        QDir().mkpath(root.path() + "/run");
        QFile::setPermissions(root.path() + "/run",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        QProcess editor;
        editor.setProcessEnvironment(env);
        editor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        editor.start(program("korvane-editor"), {});
        QVERIFY(editor.waitForStarted());

        // The window has been shown once the log names where the shipped
        // documents were found; only then is there a window to close.
        const QString logFile = root.path() + "/data/Pellux3/logs/Korvane.log";
        auto logText = [&logFile] {
            QFile f(logFile);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains("program folder: "), 60000);
        QVERIFY(editor.state() == QProcess::Running);

        ::kill(static_cast<pid_t>(editor.processId()), signo);
        QVERIFY(editor.waitForFinished(60000));
        QCOMPARE(editor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(editor.exitCode(), 0);
        const QStringList lines = logText().split('\n', Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        QVERIFY2(lines.back().trimmed().endsWith("Close"), qPrintable(lines.back()));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
