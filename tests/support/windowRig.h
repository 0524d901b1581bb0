// The main window on a recording port, its settings file in a temporary folder: for tests that hand it
// replies directly and look at what it sent.
#pragma once

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/mainQox.h"
#include "support/recordingLink.h"

struct TWindowRig {
    TWindowRig() { window->IniPath = dir.filePath("vektool.ini"); }
    // Shows the window, on the recording port unless it is to find its own.
    void Show(bool onPort = true) {
        if (onPort) window->UsePort(&port);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void Packet(uint8_t channel, std::vector<uint8_t> payload) {
        window->OnPacket(payload.data(), uint8_t(payload.size()), channel);
    }
    QStringList Log() const { return window->ListBoxLog->toPlainText().split('\n', Qt::SkipEmptyParts); }

    QTemporaryDir dir;
    TRecordingLink port;  // outlives the window, which releases RUN through it when it goes
    std::unique_ptr<TFormMainQox> window = std::make_unique<TFormMainQox>();
};
