#include "cli/linkSessions.h"

#include "link/zuq.h"

namespace {
QString SerialText(uint32_t serial) {
    return QStringLiteral("%1").arg(serial, 8, 16, QLatin1Char('0')).toUpper();
}
}  // namespace

QJsonObject IdentityJson(const TIdentity& identity, int link) {
    QJsonObject json{{"firmware", identity.Firmware},
                     {"serial", SerialText(identity.Serial)},
                     {"serialNumber", qint64(identity.Serial)}};
    json.insert("link", link < 0 ? QJsonValue() : QJsonValue(link));
    return json;
}

QString IdentityText(const TIdentity& identity) {
    return QStringLiteral("firmware \"%1\", serial %2").arg(identity.Firmware, SerialText(identity.Serial));
}

// ---- identify ------------------------------------------------------------------------------------

void TIdentifySession::Run() {
    Progress(QStringLiteral("identifying"));
    // With a link, the link scan asked for the identity as soon as the controller confirmed the link.
    Await(
        QStringLiteral("Identify"),
        [this] { Port.SendCommand(uint8_t(zuq::ChannelApp | NetBit()), zuq::Cmd::Identify); }, NetBit() == 0);
}

void TIdentifySession::Reply(const uint8_t* payload, uint8_t length, uint8_t channel) {
    if (payload[0] != zuq::Cmd::Identify || channel != (zuq::ChannelReply | NetBit()) || !Awaiting()) return;
    Answered();
    const TIdentity identity = DecodeIdentity(payload, length);
    const QString where = Options.Link >= 0 ? QStringLiteral("link %1: ").arg(Options.Link) : QString();
    Succeed(where + IdentityText(identity), IdentityJson(identity, Options.Link));
}

// ---- scan ----------------------------------------------------------------------------------------

TScanSession::TScanSession(const TCliOptions& options, const TCliInputs& inputs, const QString& port,
                           TCliProgress& progress)
    : TPortSession(options, inputs, port, progress) {
    LinkScan.OnState = [this](TLinkScan::TState state) {
        if (Finished()) return;
        if (state == TLinkScan::TState::Done) Scanned();
        if (state == TLinkScan::TState::TimedOut) ScanTimedOut([this] { Run(); });
    };
}

void TScanSession::Run() {
    Progress(QStringLiteral("scanning the CAN net"));
    if (!LinkScan.Scan()) Fail(ExitCode::Failed, QStringLiteral("the port closed"));
}

void TScanSession::Scanned() {
    next_ = 0;
    NextNode();
}

void TScanSession::NextNode() {
    const std::vector<uint8_t>& links = LinkScan.Links();
    if (next_ >= links.size()) {
        const QString text = links.empty() ? QStringLiteral("no links on the CAN net")
                                           : QStringLiteral("%1 link%2: %3")
                                                 .arg(links.size())
                                                 .arg(links.size() == 1 ? "" : "s")
                                                 .arg(texts_.join(QStringLiteral("; ")));
        return Succeed(text, QJsonObject{{"links", nodes_}});
    }
    const uint8_t link = links[next_];
    Progress(QStringLiteral("identifying link %1").arg(link), int(next_ * 100 / links.size()));
    // The link scan asks for the identity once the controller confirms the link; a lost answer is asked
    // again.
    SelectLink(link, [this] {
        Await(
            QStringLiteral("Identify"),
            [this] { Port.SendCommand(zuq::ChannelApp | zuq::NetBit, zuq::Cmd::Identify); }, false);
    });
}

void TScanSession::Reply(const uint8_t* payload, uint8_t length, uint8_t channel) {
    if (payload[0] != zuq::Cmd::Identify || channel != (zuq::ChannelReply | zuq::NetBit) || !Awaiting() ||
        next_ >= LinkScan.Links().size())
        return;
    Answered();
    const TIdentity identity = DecodeIdentity(payload, length);
    const int link = LinkScan.Links()[next_++];
    nodes_.append(IdentityJson(identity, link));
    texts_ << QStringLiteral("%1 (%2)").arg(link).arg(IdentityText(identity));
    NextNode();
}
