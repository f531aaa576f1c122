#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

// How the simulated reader answers; owned by the simulator thread.
struct SimulatorSettings
{
    static constexpr int noAck = -1;

    QByteArray address = QByteArray::fromHex("0A1B2C3D");
    QByteArray uartConfiguration = QByteArray::fromHex("051003");
    QHash<QByteArray, QByteArray> answers;
    int ackCode = 0x06;
    QList<int> queuedAckCodes;
    bool silent = false;
    int ackDelayMs = 0;
    QByteArray garbage;
    bool answerBeforeAck = false;
    bool ackAndAnswerTogether = false;
    bool tcpEcho = true;
    // 0: frames are taken as they come; else as fast as they could come at this baud rate.
    int inputBaudRate = 0;
};
