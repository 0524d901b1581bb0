// The telemetry's places in the main window: freeze, recording, export and image in the Status menu, the
// recording's file and row count in the status bar, the status frame's log lines in the event log.
#pragma once

class QLabel;
class TFormMainQox;

// Called once by the window's constructor, after its menus exist; returns the status-bar label.
QLabel* AttachTelemetry(TFormMainQox& window);
