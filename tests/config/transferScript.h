// Short texts for what a configuration transfer did, so that a test case fits a table row.
#pragma once

#include <QStringList>

#include "config/configRecord.h"
#include "link/zuq.h"
#include "support/recordingLink.h"

// The packets sent, e.g. "get 4, flash 2 p99, status": record numbers, and the poles of a written record
// when not 12.
inline QString Sent(const TRecordingLink& link) {
    QStringList out;
    for (const auto& p : link.Packets()) {
        if (p.Payload.size() > 39)
            out << QString(p.Command() == zuq::Cmd::ConfigFlash ? "flash %1" : "set %1").arg(p.Payload[7]) +
                       (p.Payload[39] != 12 ? QString(" p%1").arg(p.Payload[39]) : "");
        else
            out << (p.Command() == zuq::Cmd::StatusRequest ? "status"
                                                           : QString("get %1").arg(p.Payload.at(1)));
    }
    return out.join(", ");
}

// A ConfigData reply carrying record n, defaults but for its poles; spoiled: a wrong signature.
inline std::vector<uint8_t> DataReply(int n, uint8_t poles = 12, bool spoiled = false) {
    ConfigRecord r = ConfigRecord::Defaults(uint8_t(n));
    r.poles = poles, r.Signature[1] = spoiled ? 'X' : r.Signature[1];
    const TConfigBytes b = r.ToBytes();
    std::vector<uint8_t> payload{zuq::Cmd::ConfigData};
    payload.insert(payload.end(), b.begin(), b.end());
    return payload;
}

// Failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// Whole-text match where one "*" stands for any text.
inline bool Matches(const QString& text, const QString& pattern) {
    const qsizetype star = pattern.indexOf('*');
    if (star < 0) return text == pattern;
    const QString head = pattern.left(star), tail = pattern.mid(star + 1);
    return text.size() >= head.size() + tail.size() && text.startsWith(head) && text.endsWith(tail);
}
