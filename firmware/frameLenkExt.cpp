#include "firmware/frameLenkExt.h"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "link/comLink.h"

namespace {
constexpr int LinkRole = Qt::UserRole;

// The link list: a selection moved with the keyboard (arrows, Home/End, type-ahead) is reported, so
// that it picks the link as a click does.
class TLinkList final : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<void()> OnKeySelect;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const QList<QListWidgetItem*> before = selectedItems();
        QListWidget::keyPressEvent(event);
        if (selectedItems() != before && OnKeySelect) OnKeySelect();
    }
};
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

    auto* list = new TLinkList(GroupBox1);
    list->OnKeySelect = [this] { ListView1Click(); };
    ListView1 = list;
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
    OnLog = std::move(onLog);
    Port = port;
    Scan.reset();
    if (Port) {
        Scan = std::make_unique<TLinkScan>(*Port);
        Scan->OnLog = [this](const QString& text) { Log(text); };
        Scan->OnLinks = [this](const std::vector<uint8_t>& links) { showLinks(links); };
        Scan->OnActiveLink = [this](uint8_t link) { showActiveLink(link); };
        Scan->OnIdentity = [this](const TIdentity& id) {
            Label2->setText(id.Firmware);
            Label4->setText(QString::number(id.Serial, 16));
        };
    }
    ListView1->clear();
}

void TFrameLinkScan::Log(const QString& text) {
    if (OnLog) OnLog("LINK: " + text);
}

void TFrameLinkScan::ActionScanExecute() {
    if (Scan) Scan->Scan();
}

void TFrameLinkScan::ActionScanUpdate() {
    ActionScan->setEnabled(Port && Port->IsOpen());
}

uint8_t TFrameLinkScan::SelectedLink() const {
    const auto selected = ListView1->selectedItems();
    if (selected.isEmpty()) return TLinkScan::NoLink;
    return uint8_t(selected.first()->data(LinkRole).toUInt());
}

void TFrameLinkScan::ListView1Click() {
    Label25->setText("NONE");
    setIdentityUnknown();
    if (OnLinkChanged) OnLinkChanged(false);
    if (Scan) Scan->Select(SelectedLink());
}

bool TFrameLinkScan::HandleReply(const uint8_t* payload, uint8_t length) {
    return !Scan || Scan->HandleReply(payload, length);
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

void TFrameLinkScan::showLinks(const std::vector<uint8_t>& links) {
    // Emptying the list drops its selection; the main window hears of it through itemSelectionChanged.
    ListView1->clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (uint8_t n : links) {
        auto* item = new QListWidgetItem(icon, QString("Vek#%1").arg(n), ListView1);
        item->setData(LinkRole, n);
    }
}

void TFrameLinkScan::showActiveLink(uint8_t link) {
    setIdentityUnknown();
    Label25->setText(link == TLinkScan::NoLink ? QString("NONE") : QString("Vek#%1").arg(link));
    if (OnLinkChanged) OnLinkChanged(true);
}
