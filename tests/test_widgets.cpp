// The widgets that keep time, on a time the test sets: the once-a-frame
// repaint throttle and the limit on the text cursor's blinking.
#include "widgets/CaretBlinkLimit.h"
#include "widgets/RepaintThrottle.h"

#include <QLineEdit>
#include <QScopeGuard>
#include <QStyleHints>
#include <QtTest>
#include <memory>

class WidgetsTest : public QObject {
    Q_OBJECT

private slots:
    // Steps "r<ms>" (a change) and "e<ms>" (the frame's end, which the
    // timer would call) against the times of the repaints they cause.
    // Frames are 33 ms: frame 0 is 0-32 ms, frame 1 is 33-65 ms.
    void aChangeIsDrawnAtOnceOrAtTheFramesEnd_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("repaints");
        for (const auto& [name, steps, repaints] : {
                 std::tuple{"a lone change at once", "r5", "5"},
                 {"a second change in the frame at its end", "r0 r10 e33", "0 33"},
                 {"changes while waiting, once", "r0 r10 r20 r32 e33", "0 33"},
                 {"a change in a new frame at once", "r0 r40", "0 40"},
                 {"after a frame's end, a change in that frame waits", "r0 r10 e33 r40 e66",
                  "0 33 66"},
                 {"after a quiet frame, at once", "r0 r10 e33 r70", "0 33 70"},
             })
            QTest::newRow(name) << QString(steps) << QString(repaints);
    }
    void aChangeIsDrawnAtOnceOrAtTheFramesEnd() {
        QFETCH(QString, steps);
        QFETCH(QString, repaints);
        qint64 now = 0;
        CFrameClock clock([&] { return now; });
        QStringList drawn;
        CRepaintThrottle throttle([&] { drawn << QString::number(now); }, clock);
        for (const QString& step : steps.split(' ')) {
            now = step.mid(1).toLongLong();
            if (step.startsWith('r'))
                throttle.Request();
            else
                clock.EndFrame();
            // The last change is always drawn: a change not drawn yet has
            // the frame's end coming for it.
            QCOMPARE(clock.EndScheduled(), throttle.Waiting());
        }
        QCOMPARE(drawn.join(' '), repaints);
    }

    // One frame end draws every throttle waiting, each once, and a repaint
    // that asks again waits for the frame after.
    void aFramesEndDrawsEveryWaitingThrottle() {
        qint64 now = 0;
        CFrameClock clock([&] { return now; });
        int aPaints = 0, bPaints = 0;
        CRepaintThrottle a([&] { ++aPaints; }, clock);
        CRepaintThrottle b(
            [&] {
                if (++bPaints == 2)
                    b.Request();
            },
            clock);
        for (int i = 0; i < 3; ++i) {
            a.Request();
            b.Request();
        }
        QCOMPARE(std::pair(aPaints, bPaints), std::pair(1, 1));
        now = 33;
        clock.EndFrame();
        QCOMPARE(std::pair(aPaints, bPaints), std::pair(2, 2));
        QVERIFY(!a.Waiting() && b.Waiting() && clock.EndScheduled());
        now = 66;
        clock.EndFrame();
        QCOMPARE(std::pair(aPaints, bPaints), std::pair(2, 3));
    }

    // A throttle that goes while waiting is never called, also when an
    // earlier repaint of the same frame end destroys it; a clock that goes
    // first lets its throttles stop waiting.
    void aThrottleDestroyedWhileWaitingIsForgotten() {
        qint64 now = 0;
        CFrameClock clock([&] { return now; });
        int paints[3] = {};
        std::unique_ptr<CRepaintThrottle> throttles[3];
        for (int i = 0; i < 3; ++i)
            throttles[i] = std::make_unique<CRepaintThrottle>(
                [&, i] {
                    if (++paints[i] == 2 && i == 0)
                        throttles[2].reset();
                },
                clock);
        for (int round = 0; round < 2; ++round)
            for (const auto& throttle : throttles)
                throttle->Request();
        throttles[1].reset();
        clock.EndFrame();
        QCOMPARE(std::vector(paints, paints + 3), (std::vector{2, 1, 1}));
        QVERIFY(!clock.EndScheduled());

        auto gone = std::make_unique<CFrameClock>([&] { return now; });
        CRepaintThrottle left([] {}, *gone);
        left.Request();
        left.Request();
        QVERIFY(left.Waiting());
        gone.reset();
        QVERIFY(!left.Waiting());
    }

    // Blinking stops after ten seconds without input and starts again at
    // the next key, click or change of focus, while blinking or stopped;
    // the cursor's own blinks and other events are no input. The flash
    // time found is left in place.
    void theCursorStopsBlinkingWhenNobodyTypes() {
        QLineEdit edit;
        QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
        QTimerEvent blink(0);
        const std::tuple<const char*, bool, std::function<void()>> events[] = {
            {"key", true, [&] { QTest::keyClick(&edit, Qt::Key_A); }},
            {"click", true, [&] { QTest::mouseClick(&edit, Qt::LeftButton); }},
            {"focus", true, [&] { QCoreApplication::sendEvent(&edit, &focus); }},
            {"cursor blink", false, [&] { QCoreApplication::sendEvent(&edit, &blink); }},
        };
        QStyleHints* hints = QGuiApplication::styleHints();
        const auto restore = qScopeGuard(
            [hints, flash = hints->cursorFlashTime()] { hints->setCursorFlashTime(flash); });
        hints->setCursorFlashTime(700);
        for (const auto& [name, isInput, deliver] : events) {
            qint64 now = 0;
            {
                CCaretBlinkLimit limit(CCaretBlinkLimit::kStopAfterMs, nullptr,
                                       [&] { return now; });
                const auto seen = [&] {
                    return QStringLiteral("%1: %2, flash time %3")
                        .arg(name, limit.Stopped() ? "stopped" : "blinking")
                        .arg(hints->cursorFlashTime());
                };
                const QString blinking = QStringLiteral("%1: blinking, flash time 700").arg(name);
                const QString stopped = QStringLiteral("%1: stopped, flash time 0").arg(name);
                const auto checkedAt = [&](qint64 ms) {
                    now = ms;
                    limit.CheckQuiet();
                    return seen();
                };
                now = 5000;
                deliver();
                const qint64 quietFrom = isInput ? 5000 : 0;
                QCOMPARE(checkedAt(quietFrom + 9999), blinking);
                QCOMPARE(checkedAt(quietFrom + 10000), stopped);

                now = 16000;
                deliver();
                QCOMPARE(seen(), isInput ? blinking : stopped);
                if (isInput) {
                    QCOMPARE(checkedAt(25999), blinking);
                    QCOMPARE(checkedAt(26000), stopped);
                }
            }
            QCOMPARE(hints->cursorFlashTime(), 700);
        }
    }
};

QTEST_MAIN(WidgetsTest)
#include "test_widgets.moc"
