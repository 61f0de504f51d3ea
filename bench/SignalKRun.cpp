// 8: a level command to the new engine speed in a Signal K server's REST
// API. The emulator serves its bus on its gateway port, the pinned Signal K
// server (signalk/serve.js) reads it; brendlowctl sets the level as a user
// would, and the API is asked every 10 ms until the engine speed moves.
#include "bench/Report.h"
#include "bench/RunFolder.h"
#include "bench/SystemRuns.h"
#include "tests/FreePort.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QThread>

#include <cmath>
#include <limits>

namespace bench {

namespace {

constexpr int kPollMs = 10;
constexpr double kReadySeconds = 60; // serve.js gives up after a minute itself
constexpr double kChangeSeconds = 5;

// The engine speed Signal K shows, in Hz; NaN while it has none.
double EngineSpeedHz(QNetworkAccessManager& network, const QUrl& url) {
    QNetworkReply* reply = network.get(QNetworkRequest(url));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    bool ok = false;
    const double hz = reply->readAll().trimmed().toDouble(&ok);
    reply->deleteLater();
    return ok && reply->error() == QNetworkReply::NoError
               ? hz
               : std::numeric_limits<double>::quiet_NaN();
}

} // namespace

SignalKResult RunSignalK(const Programs& programs, const Durations& durations) {
    SignalKResult r;
    RunFolder folder;
    if (!MakeRunFolder(programs, "signalk", folder, r.error))
        return r;
    const int gateway = FreePort();
    const int port = FreePort();
    CChildProcess emulator;
    if (!StartEmulator(programs, folder, {"--gateway", std::to_string(gateway)}, emulator, r.error))
        return r;
    CChildProcess server;
    const std::string log = folder.File("signalk.out");
    if (!server.Start("node",
                      {BRENDLOW_SIGNALK_SERVE, "--config",
                       QString::fromStdString(folder.File("signalk")), "--port",
                       QString::number(port), "--gateway", QString::number(gateway)},
                      {{}, QString::fromStdString(log)})) {
        r.error = "cannot start node";
        return r;
    }
    QElapsedTimer waited;
    waited.start();
    const auto ready = [&] {
        for (const std::string& line : ReadLines(log))
            if (line.rfind("ready: ", 0) == 0)
                return true;
        return false;
    };
    while (!ready()) {
        if (!server.Running() || waited.elapsed() > kReadySeconds * 1000) {
            r.error = "the Signal K server did not start: " + Excerpt(log);
            return r;
        }
        QThread::msleep(100);
    }

    QNetworkAccessManager network;
    const QUrl url(QString("http://127.0.0.1:%1/signalk/v1/api/vessels/self/propulsion/port/"
                           "revolutions/value")
                       .arg(port));
    waited.restart();
    while (std::isnan(EngineSpeedHz(network, url))) {
        if (waited.elapsed() > kReadySeconds * 1000) {
            r.error = "no engine speed in Signal K: " + Excerpt(log);
            return r;
        }
        QThread::msleep(100);
    }
    std::vector<double> latencies;
    for (int i = 0; i < durations.signalKChanges; ++i) {
        // Every level differs from the one before: 20..49 and 60..89 in turn.
        const int level = (i % 2 == 0 ? 20 : 60) + (i / 2) % 30;
        const double before = EngineSpeedHz(network, url);
        QElapsedTimer clock;
        clock.start();
        QProcess ctl;
        ctl.start(QString::fromStdString(programs.ctl),
                  {"--port", QString::fromStdString(folder.link), "level", QString::number(level)});
        if (!ctl.waitForFinished(int(kChangeSeconds * 1000)) || ctl.exitCode() != 0) {
            r.error = "brendlowctl level " + std::to_string(level) +
                      " failed: " + ctl.readAllStandardError().trimmed().toStdString();
            return r;
        }
        for (;;) {
            const double now = EngineSpeedHz(network, url);
            if (!std::isnan(now) && now != before)
                break;
            if (clock.elapsed() > kChangeSeconds * 1000) {
                r.error = "Signal K's engine speed stayed at " + std::to_string(before * 60) +
                          " RPM after level " + std::to_string(level);
                return r;
            }
            QThread::msleep(kPollMs);
        }
        latencies.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    r.latencyMs = Summarize(latencies);
    r.ok = true;
    return r;
}

} // namespace bench
