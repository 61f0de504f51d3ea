// Scenario files: the parser's errors, the schedule's times under a fake
// clock, and brendlowctl play and record against the emulator.
#include "core/ScenarioSchedule.h"
#include "tests/EmulatorProcess.h"

#include <QTemporaryDir>

using scenario::Problem;

namespace {

scenario::Plan Parse(const QByteArray& text) {
    return scenario::Parse(std::string_view(text.constData(), size_t(text.size())));
}

// The levels an emulator's send log shows, each run of one level once.
QList<int> LevelsSent(const QString& sendLog) {
    QList<int> levels;
    for (const QString& line : ReadLines(sendLog)) {
        const int level = line.section(' ', 1, 1).toInt();
        if (levels.isEmpty() || levels.last() != level)
            levels << level;
    }
    return levels;
}

} // namespace

class ScenarioTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString Port() const { return m_dir.filePath("ports/COM1"); }
    CtlResult Play(const QString& file, QStringList extra = {}) {
        return Ctl(QStringList{"--port", Port(), "play", file} + extra);
    }

private slots:
    void errorsNameTheirPlace_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("problem");
        auto row = [](const char* name, const char* text, int line, int column, Problem p) {
            QTest::newRow(name) << QByteArray(text) << line << column << int(p);
        };
        row("unknown step", "level 3\n  jump 4", 2, 3, Problem::UnknownStep);
        row("level too high", "level 101", 1, 7, Problem::Level);
        row("level not whole", "level 5.5", 1, 7, Problem::Level);
        row("level missing", "level", 1, 1, Problem::Arguments);
        row("ramp without in", "ramp 0 10 over 3", 1, 1, Problem::Arguments);
        row("ramp's end", "ramp 0 -1 in 3", 1, 8, Problem::Level);
        row("four decimals", "wait 0.0001", 1, 6, Problem::Seconds);
        row("dot alone", "wait 1.", 1, 6, Problem::Seconds);
        row("negative wait", "wait -1", 1, 6, Problem::Seconds);
        row("too long", "wait 1000000.001", 1, 6, Problem::Seconds);
        row("mode name", "mode silent on", 1, 6, Problem::ModeWord);
        row("on or off", "mode quiet yes", 1, 12, Problem::OnOff);
        row("key name", "key dynamic", 1, 5, Problem::KeyWord);
        row("instance name", "instances engine=1 hull=2", 1, 20, Problem::InstanceName);
        row("no equals", "instances engine", 1, 11, Problem::InstanceName);
        row("instance 16", "instances fuel=16", 1, 11, Problem::InstanceValue);
        row("caption", "expect \"Engine Sped\" \"1 RPM\"", 1, 8, Problem::Caption);
        row("caption's case", "expect \"engine speed\" x", 1, 8, Problem::Caption);
        row("open quote", "expect \"Engine Speed\" \"5 RPM", 1, 23, Problem::Quote);
        row("column in characters", "# é\nexpect \"é\" x", 2, 8, Problem::Caption);
        row("expect without text", "expect \"Engine Speed\"", 1, 1, Problem::Arguments);
        row("repeat zero", "repeat 0\nend", 1, 8, Problem::Count);
        row("end alone", "level 1\nend", 2, 1, Problem::EndWithoutRepeat);
        row("open repeat", "repeat 2\n repeat 3\n level 1\nend", 1, 1, Problem::RepeatWithoutEnd);
        row("repeats too many", "repeat 1000\nrepeat 1001\nlevel 1\nend\nend", 1, 1,
            Problem::TooManySteps);
        row("nothing", "# only a comment\n\n", 1, 1, Problem::NoSteps);
    }
    void errorsNameTheirPlace() {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(int, problem);
        const scenario::Plan plan = Parse(text);
        QCOMPARE(plan.errors.size(), size_t(1));
        QVERIFY(plan.steps.empty());
        QCOMPARE(plan.errors[0].line, line);
        QCOMPARE(plan.errors[0].column, column);
        QCOMPARE(int(plan.errors[0].problem), problem);
    }

    void stepsAreReadAsWritten() {
        const scenario::Plan plan =
            Parse("repeat 2 # twice\n repeat 3\n  key up\n end\n wait 1.25\nend\r\n"
                  "instances rudder=255 engine=15\n"
                  "expect \"Trans. Warning\" \"a \\\"b\\\" \\\\ # c\" # comment\n");
        QVERIFY(plan.Ok());
        QCOMPARE(plan.steps.size(), size_t(2 * 4 + 2));
        QCOMPARE(plan.steps[3].ms, 1250);
        QCOMPARE(plan.steps[7].line, 5);
        const scenario::Step& instances = plan.steps[8];
        QCOMPARE(instances.instances[6].value(), 255);
        QCOMPARE(instances.instances[0].value(), 15);
        QVERIFY(!instances.instances[1]);
        const scenario::Step& expect = plan.steps[9];
        QCOMPARE(expect.entry->controlId, panel::FindPanelEntry(1034)->controlId);
        QCOMPARE(expect.expected, std::string("a \"b\" \\ # c"));
        QCOMPARE(expect.text, std::string("expect \"Trans. Warning\" \"a \\\"b\\\" \\\\ # c\""));
    }

    // Ten minutes of 0.1 s waits, each after a level whose acknowledgement
    // takes 37 ms: every level starts on its schedule, to the millisecond,
    // and the end comes at 600 s. A ramp's levels fall on their own times.
    void scheduleDoesNotDrift() {
        const scenario::Plan plan = Parse("repeat 6000\nlevel 50\nwait 0.1\nend\n"
                                          "ramp 10 0 in 0.7\nkey up\nkey down\nexpect level 1\n");
        QVERIFY(plan.Ok());
        scenario::CSchedule schedule(plan, false);
        int64_t now = 5000; // the fake clock, in ms
        schedule.Start(now);
        int64_t previousEnd = now;
        QList<int64_t> rampTimes;
        int levels = 0;
        while (!schedule.Finished()) {
            now += schedule.WaitMs(now);
            const scenario::Action a = schedule.Current();
            const int64_t started = schedule.ElapsedMs(now);
            QCOMPARE(now, std::max(previousEnd, 5000 + a.dueMs));
            if (a.step < plan.steps.size() && plan.steps[a.step].kind == scenario::StepKind::Level)
                QCOMPARE(started, int64_t(levels++) * 100);
            if (a.step < plan.steps.size() && plan.steps[a.step].kind == scenario::StepKind::Ramp)
                rampTimes << started;
            if (a.step == plan.steps.size())
                QCOMPARE(a.dueMs, 600700);
            now += a.step < plan.steps.size() && plan.steps[a.step].kind != scenario::StepKind::Wait
                       ? 37
                       : 0;
            previousEnd = now;
            schedule.Advance();
        }
        QCOMPARE(levels, 6000);
        QCOMPARE(rampTimes, (QList<int64_t>{600000, 600070, 600140, 600210, 600280, 600350, 600420,
                                            600490, 600560, 600630, 600700}));

        // Paused time does not count; a loop's passes follow at a pass's length.
        const scenario::Plan twice = Parse("wait 2\nlevel 1\n");
        scenario::CSchedule loop(twice, true);
        loop.Start(0);
        loop.Advance();
        loop.Pause(500);
        QCOMPARE(loop.WaitMs(9000), 1500);
        loop.Resume(9000);
        for (int i = 0; i < 3; ++i)
            loop.Advance();
        QCOMPARE(loop.Current().round, 2);
        QCOMPARE(loop.Current().step, size_t(0));
        QCOMPARE(loop.WaitMs(9000), 3500);
    }

    // What the recorder writes plays back at the times it was recorded.
    void recordingReadsBackAsRecorded() {
        scenario::CRecorder recorder;
        std::string text = recorder.Report(0, {40, {false, true, false}});
        QCOMPARE(recorder.Report(90, {40, {false, true, false}}), std::string());
        text += recorder.Report(1234, {41, {false, true, false}});
        text += recorder.Report(2001, {41, {false, true, true}});
        text += recorder.End(5000);
        const scenario::Plan plan = scenario::Parse(text);
        QVERIFY(plan.Ok());
        const std::vector<int64_t> starts = scenario::StepStarts(plan);
        QStringList timed;
        for (size_t i = 0; i < plan.steps.size(); ++i)
            if (plan.steps[i].kind != scenario::StepKind::Wait)
                timed << QStringLiteral("%1 %2").arg(starts[i]).arg(
                    QString::fromStdString(plan.steps[i].text));
        QCOMPARE(timed, (QStringList{"0 mode dynamic off", "0 mode quiet on", "0 mode warnings off",
                                     "0 level 40", "1234 level 41", "2001 mode warnings on"}));
        QCOMPARE(starts.back(), 5000);
    }

    // Every example runs green against the emulator.
    void examplesRunGreen() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--rate", "20"}));
        const QDir examples(QStringLiteral(BRENDLOW_SOURCE_DIR "/examples"));
        const QStringList files = examples.entryList({"*.scn"});
        QVERIFY(files.size() >= 4);
        for (const QString& file : files) {
            const CtlResult r = Play(examples.filePath(file));
            QVERIFY2(r.code == 0, qPrintable(file + ": " + r.err));
            QVERIFY(r.out.endsWith("\n") && r.out.count('\n') >= 3);
        }
    }

    // A failed expect names its line, what was expected and what is shown,
    // and the run goes on to its end; --check sends nothing.
    void failedExpectEndsWithSeven() {
        EmulatorProcess emulator;
        const QString trace = m_dir.filePath("trace");
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--rate", "20", "--trace", trace}));
        const QString file = m_dir.filePath("fail.scn");
        QVERIFY(WriteFile(file, "level 30\nexpect level 30\nexpect \"Fuel Level\" \"1.000 %\"\n"
                                "wait 0.25\nlevel 31\n"));
        const CtlResult check = Play(file, {"--check"});
        QCOMPARE(check.code, 0);
        QCOMPARE(check.out, QByteArray("0.000 line 1: level 30\n0.000 line 2: expect level 30\n"
                                       "0.000 line 3: expect \"Fuel Level\" \"1.000 %\"\n"
                                       "0.000 line 4: wait 0.25\n0.250 line 5: level 31\n"
                                       "0.250 end\n"));
        QVERIFY(!QFile::exists(trace) || !QFile(trace).size());

        const CtlResult r = Play(file);
        QCOMPARE(r.code, 7);
        QVERIFY2(r.err.contains(file.toUtf8() +
                                ":3: expect failed: expected \"1.000 %\", shown \"30.000 %\""),
                 r.err.constData());
        QVERIFY(!r.err.contains(":2:"));
        QVERIFY(r.out.contains(" line 5: level 31\n"));

        QVERIFY(WriteFile(file, "level 30\nlevel 300\n"));
        const CtlResult bad = Play(file);
        QCOMPARE(bad.code, 64);
        QCOMPARE(bad.err.trimmed(),
                 file.toUtf8() + ":2:7: expected a level, a whole number 0..100, got \"300\"");
    }

    // The device sweeps by itself while record writes what it reports;
    // played back on a second emulator, the recording makes it report the
    // same levels in the same order.
    void recordingPlaysBackTheRun() {
        const QString sendLog = m_dir.filePath("sent");
        const QString recording = m_dir.filePath("run.scn");
        {
            EmulatorProcess sweeping;
            QVERIFY(sweeping.Start(m_dir.path(), 1, {"--rate", "10", "--sweep"}));
            const CtlResult r = Ctl({"--port", Port(), "record", recording, "--seconds", "1.5"});
            QCOMPARE(r.code, 0);
        }
        QFile file(recording);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const scenario::Plan plan = Parse(file.readAll());
        QVERIFY(plan.Ok());
        QList<int> recorded;
        for (const scenario::Step& s : plan.steps)
            if (s.kind == scenario::StepKind::Level)
                recorded << s.level;
        QVERIFY(recorded.size() >= 5);
        for (qsizetype i = 1; i < recorded.size(); ++i)
            QCOMPARE(recorded[i], (recorded[i - 1] + 1) % 101);

        EmulatorProcess replaying;
        QVERIFY(replaying.Start(m_dir.path(), 1, {"--rate", "50", "--send-log", sendLog}));
        QCOMPARE(Play(recording).code, 0);
        replaying.Stop();
        const QList<int> seen = LevelsSent(sendLog);
        const auto text = [](const QList<int>& levels) {
            QStringList t;
            for (int l : levels)
                t << QString::number(l);
            return t.join(' ').toUtf8();
        };
        QVERIFY2(seen.size() >= recorded.size() &&
                     seen.mid(seen.size() - recorded.size()) == recorded,
                 "seen " + text(seen) + ", recorded " + text(recorded));
    }
};

QTEST_GUILESS_MAIN(ScenarioTest)
#include "test_scenario.moc"
