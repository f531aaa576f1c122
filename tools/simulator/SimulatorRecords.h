#pragma once

#include <QByteArray>
#include <QList>

// What the simulated reader saw; owned by the simulator thread, handed out as copies.
struct SimulatorRecords
{
    QList<QByteArray> payloads;
    QList<qint64> timesMs;
    QList<quint16> sessions;
    QList<quint16> ackedSessions;
    QList<qint64> ackLatenciesUs;
    int unsolicitedSent = 0;
    int discoveryQuestions = 0;
};
