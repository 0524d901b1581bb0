#include "app/telemetryWindow.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

#include "app/mainQox.h"
#include "telemetry/fGraph.h"
#include "telemetry/frameVekStatus.h"

QLabel* AttachTelemetry(TFormMainQox& window) {
    TFrameVekStat* status = window.FrameVekStat1;
    window.MenuStatus->addSeparator();
    // Space freezes only while the graph has the focus: the action stays the graph's, not the window's.
    window.MenuStatus->addAction(status->FrameGraph1->ActionFreeze);
    for (QAction* action : {status->ActionRecord, status->ActionExport, status->ActionSaveImage}) {
        window.MenuStatus->addAction(action);
        window.addAction(action);
    }
    // A permanent part of the bar: the hints of the controls under the mouse do not hide it.
    auto* label = new QLabel(window.statusBar());
    label->setObjectName(QStringLiteral("RecordingLabel"));
    label->hide();
    window.statusBar()->addPermanentWidget(label);
    status->OnRecording = [label](const QString& text) {
        label->setText(text);
        label->setVisible(!text.isEmpty());
    };
    status->OnLog = [&window](const QString& line) { window.Log(line); };
    return label;
}
