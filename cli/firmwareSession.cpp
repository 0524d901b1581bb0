#include "cli/firmwareSession.h"

#include "link/littleEndian.h"
#include "link/zuq.h"

TFirmwareSession::TFirmwareSession(const TCliOptions& options, const TCliInputs& inputs, const QString& port,
                                   TCliProgress& progress)
    : TPortSession(options, inputs, port, progress), boot_(Port) {
    silence_.setSingleShot(true);
    silence_.setInterval(TBootUpdate::SilenceMs);
    connect(&silence_, &QTimer::timeout, this, [this] {
        if (Finished() || boot_.State() != TBootUpdate::TState::Transferring) return;
        Fail(ExitCode::Failed,
             Where() + QStringLiteral("the bootloader fell silent for %1 s after page %2; the "
                                      "controller may be left in its bootloader")
                           .arg(TBootUpdate::SilenceMs / 1000)
                           .arg(page_));
    });
    boot_.OnLog = [this](const QString& line) { Log(line); };
    boot_.OnProgress = [this](int percent) {
        if (boot_.State() == TBootUpdate::TState::Transferring)
            Progress(Where() + QStringLiteral("writing"), percent);
    };
    boot_.OnState = [this](TBootUpdate::TState state) { StateChanged(state); };
    LinkScan.OnState = [this](TLinkScan::TState state) {
        if (Finished() || !Options.AllLinks || !links_.empty()) return;
        if (state == TLinkScan::TState::TimedOut) return ScanTimedOut([this] { Run(); });
        if (state != TLinkScan::TState::Done) return;
        links_ = LinkScan.Links();
        if (links_.empty()) return Fail(ExitCode::NoAnswer, QStringLiteral("no links on the CAN net"));
        NextLink();
    };
}

void TFirmwareSession::Run() {
    if (Options.AllLinks) {
        Progress(QStringLiteral("scanning the CAN net"));
        if (!LinkScan.Scan()) Fail(ExitCode::Failed, QStringLiteral("the port closed"));
        return;
    }
    link_ = Options.Link;
    Update();
}

void TFirmwareSession::NextLink() {
    if (next_ >= links_.size()) {
        QStringList names;
        for (uint8_t link : links_) names << QString::number(link);
        return Succeed(QStringLiteral("links %1 updated with %2 (%3 bytes)")
                           .arg(names.join(QStringLiteral(", ")), Options.File)
                           .arg(Inputs.Image.ImageSize),
                       Data());
    }
    link_ = links_[next_++];
    SelectLink(uint8_t(link_), [this] { Update(); });
}

void TFirmwareSession::Update() {
    page_ = -1;
    Progress(Where() + QStringLiteral("waiting for the bootloader"));
    if (!boot_.Start(Inputs.Image, NetBit())) Fail(ExitCode::Failed, QStringLiteral("an update still runs"));
}

void TFirmwareSession::Reply(const uint8_t* payload, uint8_t length, uint8_t) {
    if (payload[0] == zuq::Cmd::BootPageRequest && length >= 3) page_ = le::U16(payload + 1);
    if (!boot_.HandleReply(payload, length) && boot_.State() == TBootUpdate::TState::Transferring)
        silence_.start();
}

void TFirmwareSession::StateChanged(TBootUpdate::TState state) {
    // The unit reports changes of Busy() with the state unchanged: those say nothing new here.
    if (Finished() || state == state_) return;
    state_ = state;
    switch (state) {
        case TBootUpdate::TState::Transferring:
            silence_.start();
            break;
        case TBootUpdate::TState::Resetting:
            silence_.stop();
            Progress(Where() + QStringLiteral("resetting"), 100);
            break;
        case TBootUpdate::TState::Finished:
            if (link_ >= 0) updated_.append(link_);
            if (Options.AllLinks) return NextLink();
            return Succeed(Where() + QStringLiteral("firmware %1 (%2 bytes) written, controller reset")
                                         .arg(Options.File)
                                         .arg(Inputs.Image.ImageSize),
                           Data());
        case TBootUpdate::TState::Failed:
            silence_.stop();
            return Failed();
        default:
            break;
    }
}

void TFirmwareSession::Failed() {
    const QString where = Where();
    switch (boot_.Failure()) {
        case TBootUpdate::TFailure::NoBootloader:
            return Fail(
                ExitCode::NoAnswer,
                where +
                    QStringLiteral("no bootloader answered within %1 s").arg(TBootUpdate::DetectTicks / 10),
                Data());
        case TBootUpdate::TFailure::InvalidDevice:
            return Fail(
                ExitCode::Failed,
                where + QStringLiteral("the bootloader refused the image's device code 0x%1 (Invalid Device)")
                            .arg(Inputs.Image.DeviceCode, 4, 16, QLatin1Char('0')),
                Data());
        case TBootUpdate::TFailure::SizeMismatch:
            return Fail(
                ExitCode::Failed,
                where + QStringLiteral("the bootloader prepares another size than the image's %1 bytes")
                            .arg(Inputs.Image.ImageSize),
                Data());
        case TBootUpdate::TFailure::FlashError: {
            QStringList pages;
            for (uint16_t page : boot_.FlashErrorPages()) pages << QString::number(page);
            return Fail(
                ExitCode::Failed,
                where + QStringLiteral("flash error on page %1; the controller stays in its bootloader")
                            .arg(pages.join(QStringLiteral(", "))),
                Data());
        }
        case TBootUpdate::TFailure::DeviceLost:
            return Fail(
                ExitCode::Failed,
                where + QStringLiteral("the port went away during the update (after page %1)").arg(page_),
                Data());
        default:
            return Fail(ExitCode::Failed, where + QStringLiteral("the update was ended by a reset"), Data());
    }
}

void TFirmwareSession::Interrupted() {
    const bool running = boot_.Running();
    Fail(ExitCode::Interrupted,
         Where() + (running ? QStringLiteral("interrupted during the update; the "
                                             "controller may be left in its bootloader")
                            : QStringLiteral("interrupted")),
         Data());
}

void TFirmwareSession::DeviceLost() {
    if (boot_.Busy()) return boot_.DeviceLost();  // ends in Failed, which says where it stopped
    TPortSession::DeviceLost();
}

QString TFirmwareSession::Where() const {
    return link_ >= 0 ? QStringLiteral("link %1: ").arg(link_) : QString();
}

QJsonObject TFirmwareSession::Data() const {
    QJsonArray flashErrors;
    for (uint16_t page : boot_.FlashErrorPages()) flashErrors.append(page);
    QJsonObject data{
        {"image", Options.File},
        {"bytes", qint64(Inputs.Image.ImageSize)},
        {"pages", qint64((Inputs.Image.ImageSize + TFirmwareImage::PageSize - 1) / TFirmwareImage::PageSize)},
        {"flashErrorPages", flashErrors}};
    if (Options.AllLinks || Options.Link >= 0) data.insert("links", updated_);
    return data;
}
