// The main window connected to a vek-sim as `scripts/run` connects it: started with the simulator's port
// and --connect. Settings go to a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

#include "app/commandLine.h"
#include "app/mainQox.h"
#include "link/simPortFolder.h"
#include "link/zuq.h"
#include "support/qtWait.h"
#include "support/simProcess.h"

class TWindowOnSim {
public:
    // `ini`, when given, is the settings file the window finds at its start.
    explicit TWindowOnSim(const std::vector<std::string>& simArgs, bool trace = false,
                          const QByteArray& ini = {})
        : Sim(trace ? WithTrace(simArgs) : simArgs, trace) {
        Window = std::make_unique<TFormMainQox>();
        Window->IniPath = dir_.filePath("vektool.ini");
        if (!ini.isEmpty()) {
            QFile file(Window->IniPath);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
        }
        Window->Beep = [this] { ++Beeps; };
        const auto status = Window->StatusReply;
        Window->StatusReply = [this, status](const uint8_t* payload, uint8_t length) {
            if (payload[0] == zuq::Cmd::Status) ++Statuses;
            return status(payload, length);
        };
        Window->show();
    }
    ~TWindowOnSim() {
        if (Window) Window->close();
    }

    // Starts as `vektool --port <the simulator's link> --connect` does, and waits for the connection.
    bool Connect() {
        if (!Sim.Started() || !QTest::qWaitForWindowExposed(Window.get())) return false;
        TCommandLine options;
        options.Port = QString::fromStdString(SimLink());
        options.Connect = true;
        Window->ApplyCommandLine(options);
        return ProcessEventsUntil([&] { return Window->IsConnected(); });
    }
    // The simulator's entry in the folder the port list reads.
    std::string SimLink() const {
        const QDir folder(QString::fromStdString(SimPortFolder()));
        for (const QFileInfo& entry : folder.entryInfoList(QDir::System | QDir::Files))
            if (entry.symLinkTarget().toStdString() == Sim.PortName())
                return entry.absoluteFilePath().toStdString();
        return Sim.PortName();
    }
    QStringList Log() const { return Window->ListBoxLog->toPlainText().split('\n', Qt::SkipEmptyParts); }
    int LogCount(const QString& line) const { return Log().count(line); }
    // Waits for a line that starts with `start`.
    bool WaitLog(const QString& start, int timeoutMs = 10000) {
        const auto match = [&](const QString& line) { return line.startsWith(start); };
        return ProcessEventsUntil([&] { return std::ranges::any_of(Log(), match); }, timeoutMs);
    }

    TSimProcess Sim;
    std::unique_ptr<TFormMainQox> Window;
    int Beeps = 0;
    int Statuses = 0;  // Status replies from the selected controller

private:
    static std::vector<std::string> WithTrace(std::vector<std::string> args) {
        args.push_back("--trace");
        return args;
    }
    QTemporaryDir dir_;
};
