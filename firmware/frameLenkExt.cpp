#include "firmware/frameLenkExt.h"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "link/Waiter.h"
#include "link/comLink.h"
#include "link/identity.h"
#include "link/littleEndian.h"
#include "link/zuq.h"

namespace {
constexpr int LinkRole = Qt::UserRole;
}  // namespace

TFrameLinkScan::TFrameLinkScan(QWidget* parent) : QFrame(parent) {
    setObjectName("FrameLinkScan1");
    ActionScan = new QAction("SCAN", this);
    connect(ActionScan, &QAction::triggered, this, &TFrameLinkScan::ActionScanExecute);

    GroupBox1 = new QGroupBox(" Net CAN ", this);
    GroupBox1->setFixedHeight(105);
    SpeedButton11 = new QToolButton(GroupBox1);
    SpeedButton11->setDefaultAction(ActionScan);
    SpeedButton11->setAutoRaise(true);
    SpeedButton11->setMinimumSize(64, 40);

    Label25 = new QLabel("NONE", GroupBox1);
    QFont bold = Label25->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.4);
    Label25->setFont(bold);
    Label2 = new QLabel("UNKNOWN", GroupBox1);
    Label4 = new QLabel("UNKNOWN", GroupBox1);
    Label2->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label4->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* info = new QGridLayout;
    info->setContentsMargins(0, 0, 0, 0);
    info->setVerticalSpacing(0);
    info->addWidget(new QLabel("Active device:", GroupBox1), 0, 0);
    info->addWidget(Label25, 0, 1);
    info->addWidget(new QLabel("Firmware:", GroupBox1), 1, 0);
    info->addWidget(Label2, 1, 1);
    info->addWidget(new QLabel("Serial:", GroupBox1), 2, 0);
    info->addWidget(Label4, 2, 1);

    ListView1 = new QListWidget(GroupBox1);
    ListView1->setViewMode(QListView::IconMode);
    ListView1->setFlow(QListView::LeftToRight);
    ListView1->setWrapping(true);
    ListView1->setResizeMode(QListView::Adjust);
    ListView1->setMovement(QListView::Static);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setCursor(Qt::PointingHandCursor);
    ListView1->setIconSize(QSize(24, 24));
    ListView1->viewport()->installEventFilter(this);

    auto* row = new QHBoxLayout(GroupBox1);
    row->setContentsMargins(6, 2, 6, 4);
    row->addWidget(SpeedButton11);
    row->addLayout(info);
    row->addWidget(ListView1, 1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(GroupBox1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
}

TFrameLinkScan::~TFrameLinkScan() = default;

void TFrameLinkScan::Initialize(TComLink* port, TLog onLog) {
    waiter_ = std::make_unique<TWaiter>([this](const QString& text) { Log(text); });
    OnLog = std::move(onLog);
    Port = port;
    if (Port) Port->ActiveLink = 255;
    ListView1->clear();
}

void TFrameLinkScan::Log(const QString& text) {
    if (OnLog) OnLog("LINK: " + text);
}

void TFrameLinkScan::ActionScanExecute() {
    if (!Port || !Port->IsOpen()) return;
    ListView1->clear();
    Log("Starting scan ...");
    // A scan already waiting keeps its deadline; the requests go out all the same.
    if (waiter_) waiter_->Start(ScanTicks, "Scan time out.");
    sendByte(zuq::ChannelApp, zuq::Cmd::SelectLink, 0xFF);
    send(zuq::ChannelApp, zuq::Cmd::ScanLinks);
}

void TFrameLinkScan::ActionScanUpdate() {
    ActionScan->setEnabled(Port && Port->IsOpen());
}

uint8_t TFrameLinkScan::SelectedLink() const {
    const auto selected = ListView1->selectedItems();
    if (selected.isEmpty()) return 255;
    return uint8_t(selected.first()->data(LinkRole).toUInt());
}

void TFrameLinkScan::ListView1Click() {
    Label25->setText("NONE");
    setIdentityUnknown();
    if (OnLinkChanged) OnLinkChanged(false);
    sendByte(zuq::ChannelApp, zuq::Cmd::SelectLink, SelectedLink());
}

bool TFrameLinkScan::HandleReply(const uint8_t* payload, uint8_t length) {
    if (length == 0) return true;
    switch (payload[0]) {
        case zuq::Cmd::ActiveLink:
        case zuq::Cmd::ActiveLinkAlt: {
            // Without its argument the reply says nothing; taken, so no other frame misreads it.
            if (length < 2) return false;
            const uint8_t active = payload[1];
            setIdentityUnknown();
            if (Port) Port->ActiveLink = active;
            if (active == 255) {
                Label25->setText("NONE");
                Log("No active link");
                send(zuq::ChannelApp, zuq::Cmd::Identify);
            } else {
                Label25->setText(QString("Vek#%1").arg(active));
                Log(QString("Active link #%1.").arg(active));
                send(zuq::ChannelApp | zuq::NetBit, zuq::Cmd::Identify);
            }
            if (OnLinkChanged) OnLinkChanged(true);
            return false;
        }
        case zuq::Cmd::ScanLinks: {
            if (length < 5) return false;
            const uint32_t mask = le::U32(payload + 1);
            ListView1->clear();
            const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
            for (int n = 0; n < 32; ++n) {
                if (!(mask & (1u << n))) continue;
                auto* item = new QListWidgetItem(icon, QString("Vek#%1").arg(n), ListView1);
                item->setData(LinkRole, n);
            }
            Log(QString("Scan complete (%1).").arg(mask, 0, 16));
            if (waiter_) waiter_->Cancel();
            return false;
        }
        case zuq::Cmd::Identify: {
            const TIdentity id = DecodeIdentity(payload, length);
            Label2->setText(id.Firmware);
            Label4->setText(QString::number(id.Serial, 16));
            return true;
        }
        case zuq::Cmd::Detected:
            ActionScanExecute();
            return true;
        default:
            return true;
    }
}

bool TFrameLinkScan::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            // A click on the empty area leaves no link selected, as the operator sees it.
            if (!ListView1->itemAt(mouse->position().toPoint())) ListView1->clearSelection();
            ListView1Click();
        }
    }
    return QFrame::eventFilter(watched, event);
}

void TFrameLinkScan::setIdentityUnknown() {
    Label2->setText("UNKNOWN");
    Label4->setText("UNKNOWN");
}

void TFrameLinkScan::send(uint8_t channel, uint8_t command) {
    if (Port) Port->SendCommand(channel, command);
}

void TFrameLinkScan::sendByte(uint8_t channel, uint8_t command, uint8_t value) {
    if (Port) Port->SendCommandByte(channel, command, value);
}
