// identify and scan: who answers on a port, and on the CAN net behind it.
#pragma once

#include <QJsonArray>
#include <vector>

#include "cli/portSession.h"
#include "link/identity.h"

class TIdentifySession : public TPortSession {
    Q_OBJECT
public:
    using TPortSession::TPortSession;

protected:
    void Run() override;
    void Reply(const uint8_t* payload, uint8_t length, uint8_t channel) override;
};

class TScanSession : public TPortSession {
    Q_OBJECT
public:
    TScanSession(const TCliOptions& options, const TCliInputs& inputs, const QString& port,
                 TCliProgress& progress);

protected:
    void Run() override;
    void Reply(const uint8_t* payload, uint8_t length, uint8_t channel) override;

private:
    void Scanned();
    void NextNode();

    size_t next_ = 0;  // the node whose identity comes next
    QJsonArray nodes_;
    QStringList texts_;
};

// The JSON and the text of one controller's identity.
QJsonObject IdentityJson(const TIdentity& identity, int link);
QString IdentityText(const TIdentity& identity);
