#include "FirmwareAnswers.h"

#include <QStringList>
#include <QVector>
#include <QtEndian>

namespace FirmwareAnswers {

namespace {

constexpr int headSize = 4;
constexpr quint8 done = 0x00;
constexpr int rangeSize = 4;

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

quint16 be16(const QByteArray &bytes, int at)
{
    return qFromBigEndian<quint16>(bytes.constData() + at);
}

} // namespace

std::optional<quint8> status(const QByteArray &answer)
{
    if (answer.size() <= headSize)
        return std::nullopt;
    return quint8(answer.at(headSize));
}

bool isDone(const QByteArray &answer)
{
    return status(answer) == done;
}

std::optional<PendingDownload> pendingDownload(const QByteArray &answer)
{
    constexpr int size = 25;
    if (!answer.startsWith(QByteArray::fromHex("010A0903")) || answer.size() < size ||
        !isDone(answer))
        return std::nullopt;
    PendingDownload pending;
    pending.password = hexOf(answer.mid(5, 8));
    pending.firmwareNumber = hexOf(answer.mid(13, 2));
    pending.firmwareVersion = hexOf(answer.mid(15, 4));
    pending.size = qFromBigEndian<quint32>(answer.constData() + 19);
    pending.session = be16(answer, 23);
    return pending;
}

namespace {

// A count of ranges at countAt, then the ranges, up to the end of the answer.
std::optional<QList<int>> rangesFrom(const QByteArray &answer, int countAt, int fragmentCount)
{
    if (answer.size() <= countAt)
        return std::nullopt;
    const int ranges = quint8(answer.at(countAt));
    const int rangesAt = countAt + 1;
    if (answer.size() != rangesAt + ranges * rangeSize)
        return std::nullopt;
    // Ranges may overlap or run past the end; each fragment of the job counts once.
    QVector<bool> missing(qMax(0, fragmentCount) + 1, false);
    for (int range = 0; range < ranges; ++range) {
        const int first = qMax(1, int(be16(answer, rangesAt + range * rangeSize)));
        const int last = qMin(fragmentCount, int(be16(answer, rangesAt + range * rangeSize + 2)));
        for (int fragment = first; fragment <= last; ++fragment)
            missing[fragment] = true;
    }
    QList<int> fragments;
    for (int fragment = 1; fragment <= fragmentCount; ++fragment) {
        if (missing.at(fragment))
            fragments << fragment;
    }
    return fragments;
}

} // namespace

std::optional<QList<int>> missingFragments(const QByteArray &answer, int fragmentCount)
{
    if (!answer.startsWith(QByteArray::fromHex("010A0927")) || !isDone(answer))
        return std::nullopt;
    return rangesFrom(answer, headSize + 1, fragmentCount);
}

std::optional<QList<int>> distantMissingFragments(const QByteArray &answer, int fragmentCount)
{
    constexpr int addressSize = 4;
    if (!answer.startsWith(QByteArray::fromHex("01030227")) || !isDone(answer))
        return std::nullopt;
    return rangesFrom(answer, headSize + 1 + addressSize, fragmentCount);
}

std::optional<FirmwareInformation> information(const QString &answerHex)
{
    constexpr int stackAt = 40;
    constexpr int stackPieces = 9;
    constexpr int pieceLength = 20;
    constexpr int minimumLength = stackAt + stackPieces * pieceLength + 8;
    if (!answerHex.startsWith(QLatin1String("010701"), Qt::CaseInsensitive) ||
        answerHex.size() < minimumLength)
        return std::nullopt;
    FirmwareInformation information;
    information.installedNumber = answerHex.mid(6, 4);
    information.installedVersion = answerHex.mid(10, 8);
    information.installedStackVersion = answerHex.right(8).left(4);
    information.pendingNumber = answerHex.mid(18, 4);
    information.pendingVersion = answerHex.mid(22, 8);
    QStringList pieces;
    for (int piece = 0; piece < stackPieces; ++piece)
        pieces << answerHex.mid(stackAt + piece * pieceLength, pieceLength);
    information.pendingStackInformation = pieces.join(QLatin1String("\r\n"));
    return information;
}

} // namespace FirmwareAnswers
