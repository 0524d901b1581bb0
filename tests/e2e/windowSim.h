// The main window connected to a vek-sim, as an operator connects it: the simulator's entry picked in
// the port list, Connect pressed. Settings go to a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/mainQox.h"
#include "link/frameConnect.h"
#include "support/qtWait.h"
#include "support/simProcess.h"

class TWindowOnSim {
public:
    explicit TWindowOnSim(const std::vector<std::string>& simArgs, bool trace = false)
        : Sim(trace ? WithTrace(simArgs) : simArgs, trace) {
        Window = std::make_unique<TFormMainQox>();
        Window->IniPath = dir_.filePath("vektool.ini");
        Window->Beep = [this] { ++Beeps; };
        Window->show();
    }
    ~TWindowOnSim() {
        if (Window) Window->close();
    }

    // Lists the ports again, picks the simulator's link and presses Connect.
    bool Connect() {
        if (!Sim.Started() || !QTest::qWaitForWindowExposed(Window.get())) return false;
        TFrameConnectPort* frame = Window->FrameConnectPort1;
        frame->RefreshPorts();
        for (int i = 0; i < frame->ComboBox1->count(); ++i)
            if (QFileInfo(frame->ComboBox1->itemText(i)).symLinkTarget().toStdString() == Sim.PortName())
                frame->ComboBox1->setCurrentIndex(i);
        Window->ActionConnect->trigger();
        return Window->IsConnected();
    }
    int LogCount(const QString& line) const {
        return Window->ListBoxLog->toPlainText().split('\n').count(line);
    }
    bool WaitLog(const QString& line, int timeoutMs = 10000) {
        return ProcessEventsUntil([&] { return LogCount(line) > 0; }, timeoutMs);
    }

    TSimProcess Sim;
    std::unique_ptr<TFormMainQox> Window;
    int Beeps = 0;

private:
    static std::vector<std::string> WithTrace(std::vector<std::string> args) {
        args.push_back("--trace");
        return args;
    }
    QTemporaryDir dir_;
};
