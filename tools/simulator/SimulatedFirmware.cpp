#include "SimulatedFirmware.h"

#include <QtEndian>

namespace {

constexpr int fragmentBytes = 189;
constexpr int maximumRanges = 60;
constexpr char done = 0x00;
constexpr char wrongSession = 0x01;
constexpr char wrongCheckValue = 0x02;
constexpr char notAccepted = 0x03;
constexpr char tooLarge = 0x04;
constexpr quint32 memorySize = 4 * 1024 * 1024;

quint16 crc16(const QByteArray &bytes)
{
    quint16 crc = 0;
    for (const char byte : bytes) {
        crc ^= quint16(quint8(byte)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x8000 ? quint16(crc << 1 ^ 0x8404) : quint16(crc << 1);
    }
    return crc;
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0;
    for (const char byte : bytes) {
        crc ^= quint32(quint8(byte)) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

quint16 be16(const QByteArray &bytes, int at)
{
    return qFromBigEndian<quint16>(bytes.constData() + at);
}

quint32 be32(const QByteArray &bytes, int at)
{
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

QByteArray bigEndian(quint32 value, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xFF);
    return bytes;
}

// The answer's start: the command's first byte, its second plus one, its third and fourth.
QByteArray answerHead(const QByteArray &request, char status)
{
    QByteArray head = request.left(4);
    head[1] = char(head.at(1) + 1);
    return head + status;
}

} // namespace

std::optional<QList<QByteArray>> SimulatedFirmware::answer(const QByteArray &request)
{
    const QByteArray transmissionType = QByteArray::fromHex("0104020203");
    constexpr int transmissionTypeSize = 10;
    if (request.startsWith(transmissionType) && request.size() > transmissionTypeSize)
        return distantAnswers(request.mid(transmissionTypeSize));
    if (request.startsWith(QByteArray::fromHex("01020110")))
        return QList<QByteArray>{forward(request)};
    if (request == QByteArray::fromHex("010A0924"))
        return pushResult();
    if (request.startsWith(QByteArray::fromHex("0109010109"))) {
        const QByteArray forwarded = forward(request);
        return QList<QByteArray>{QByteArray::fromHex("010A010100"), forwarded};
    }
    const QByteArray single = readerAnswer(request);
    if (single.isEmpty())
        return std::nullopt;
    return QList<QByteArray>{single};
}

QByteArray SimulatedFirmware::readerAnswer(const QByteArray &request)
{
    if (request.startsWith(QByteArray::fromHex("010601")) && request.size() == 3)
        return information();
    if (request.startsWith(QByteArray::fromHex("010501")) && request.size() == 3)
        return QByteArray::fromHex("010601") + m_capabilities;
    if (request.startsWith(QByteArray::fromHex("0104")) && request.size() >= 4)
        return parameters(request);
    if (!request.startsWith(QByteArray::fromHex("010909")) || request.size() < 4)
        return QByteArray();
    switch (quint8(request.at(3))) {
    case 0x03:
        return pendingInformation();
    case 0x02:
        return enterDownload(request, 4);
    case 0x05:
        return enterDownload(request, 5);
    case 0x21:
        return storeFragment(request);
    case 0x27:
        return missingFragments(request);
    case 0x23:
        return apply(request);
    case 0x24:
        return push(request);
    case 0x20:
        return answerHead(request, m_download ? done : wrongSession);
    default:
        return QByteArray();
    }
}

QList<QPair<int, QByteArray>> SimulatedFirmware::takeReports()
{
    QList<QPair<int, QByteArray>> reports;
    reports.swap(m_reports);
    return reports;
}

// mode, spreading factor, channel, cast type, target(4), password(8), lowest(4), highest(4),
// session(2), then the device list unless the cast type ends in 3.
QByteArray SimulatedFirmware::push(const QByteArray &request)
{
    constexpr int listAt = 4 + 4 + 4 + 8 + 4 + 4 + 2;
    if (!m_download || request.size() < listAt)
        return answerHead(request, wrongSession);
    const bool clone = m_download->size == 0;
    const QByteArray image = clone ? m_installedImage : assembledImage(*m_download);
    if (!clone && (m_download->fragments.size() != fragmentCount(*m_download) ||
                   crc32(image) != m_download->crc))
        return answerHead(request, wrongSession);
    QList<QByteArray> targets;
    for (int at = listAt; at + 4 <= request.size(); at += 4)
        targets << request.mid(at, 4);
    if (targets.isEmpty())
        targets = m_distant.keys();
    m_pushedDevices.clear();
    for (const QByteArray &address : targets) {
        if (!m_distant.contains(address))
            continue;
        m_distant[address].installedImage = image;
        m_pushedDevices << address;
    }
    const QByteArray progress =
        QByteArray::fromHex("010A0914") + bigEndian(0, 2) + bigEndian(100, 2);
    m_reports = {{20, progress + bigEndian(30, 2)},
                 {20, QByteArray::fromHex("010A09220002")},
                 {20, progress + bigEndian(100, 2)},
                 {20, QByteArray::fromHex("01030800")}};
    return answerHead(request, done);
}

QList<QByteArray> SimulatedFirmware::pushResult()
{
    QList<QByteArray> answers{QByteArray::fromHex("01030800")};
    for (const QByteArray &address : qAsConst(m_pushedDevices))
        answers << QByteArray::fromHex("010A092400") + address;
    m_pushedDevices.clear();
    return answers;
}

void SimulatedFirmware::setDistantDevices(const QList<QByteArray> &addresses)
{
    m_distant.clear();
    for (const QByteArray &address : addresses)
        m_distant.insert(address, DistantDevice());
}

QByteArray SimulatedFirmware::distantInstalledImage(const QByteArray &address) const
{
    return m_distant.value(address).installedImage;
}

// From the radio mode on, both forwarding commands carry: mode, spreading factor, channel,
// 00 14, options, password(8), 00 BD, number(2), lowest(4), highest(4), version(4),
// session(2), size(4), crc(4).
QByteArray SimulatedFirmware::forward(const QByteArray &command)
{
    QList<QByteArray> devices;
    int tailAt = 4;
    if (command.startsWith(QByteArray::fromHex("0109010109"))) {
        const int count = command.size() > 5 ? quint8(command.at(5)) : 0;
        for (int device = 0; device < count; ++device)
            devices << command.mid(6 + 4 * device, 4);
        tailAt = 6 + 4 * count + 1;
    } else {
        devices << m_routeTarget;
    }
    const QByteArray tail = command.mid(tailAt);
    const QByteArray head = QByteArray::fromHex("01030110");
    if (tail.size() < 40)
        return head + notAccepted;
    Download download;
    download.password = tail.mid(6, 8);
    download.number = tail.mid(16, 2);
    download.version = tail.mid(26, 4);
    download.session = be16(tail, 30);
    download.size = be32(tail, 32);
    download.crc = be32(tail, 36);
    if (download.size > memorySize)
        return head + tooLarge;
    for (const QByteArray &address : devices) {
        if (m_distant.contains(address))
            m_distant[address].download = download;
    }
    return head + done;
}

QList<QByteArray> SimulatedFirmware::distantAnswers(const QByteArray &command)
{
    if (command.startsWith(QByteArray::fromHex("01020110")))
        return {forward(command)};
    if (command.startsWith(QByteArray::fromHex("01020121")) && command.size() >= 8) {
        ++m_fragmentsReceived;
        for (DistantDevice &device : m_distant) {
            if (device.download)
                storeIn(*device.download, command.mid(4));
        }
        return {QByteArray::fromHex("01030121") + done + command.mid(4, 2)};
    }
    const bool missing = command.startsWith(QByteArray::fromHex("01020227"));
    const bool apply = command.startsWith(QByteArray::fromHex("01020223"));
    if ((!missing && !apply) || command.size() != 6)
        return {};
    const quint16 session = be16(command, 4);
    QList<QByteArray> answers;
    for (auto device = m_distant.begin(); device != m_distant.end(); ++device) {
        std::optional<Download> &download = device->download;
        if (!download || download->session != session)
            continue;
        const QByteArray head = command.left(4);
        QByteArray answerHead = head;
        answerHead[1] = char(answerHead.at(1) + 1);
        if (missing) {
            ++m_missingQuestions;
            answers << answerHead + done + device.key() + missingRanges(*download);
            continue;
        }
        const QByteArray image = assembledImage(*download);
        if (download->fragments.size() == fragmentCount(*download) &&
            quint32(image.size()) == download->size && crc32(image) == download->crc) {
            device->installedImage = image;
            download.reset();
            answers << answerHead + done + device.key();
        }
    }
    return answers;
}

void SimulatedFirmware::setFragmentLoss(int percent, quint32 seed)
{
    m_lossPercent = percent;
    m_lossRandom.seed(seed);
}

void SimulatedFirmware::setInstalled(const QByteArray &number, const QByteArray &version,
                                     const QByteArray &stackVersion)
{
    m_installedNumber = number;
    m_installedVersion = version;
    m_installedStack = stackVersion;
}

// password(8) 00BD number(2) lowest(4) highest(4) version(4) session(2) size(4) crc(4)
QByteArray SimulatedFirmware::enterDownload(const QByteArray &request, int headerSize)
{
    constexpr int fieldsSize = 8 + 2 + 2 + 4 + 4 + 4 + 2 + 4 + 4;
    if (request.size() != headerSize + fieldsSize)
        return answerHead(request, notAccepted);
    const QByteArray fields = request.mid(headerSize);
    Download download;
    download.password = fields.mid(0, 8);
    download.number = fields.mid(10, 2);
    const quint32 lowest = be32(fields, 12);
    const quint32 highest = be32(fields, 16);
    download.version = fields.mid(20, 4);
    download.session = be16(fields, 24);
    download.size = be32(fields, 26);
    download.crc = be32(fields, 30);
    const quint32 version = be32(download.version, 0);
    if (version < lowest || version > highest)
        return answerHead(request, notAccepted);
    if (download.size > memorySize)
        return answerHead(request, tooLarge);
    m_download = download;
    return answerHead(request, done);
}

QByteArray SimulatedFirmware::storeFragment(const QByteArray &request)
{
    ++m_fragmentsReceived;
    if (request.size() < 8)
        return answerHead(request, notAccepted);
    const QByteArray number = request.mid(4, 2);
    if (!m_download)
        return answerHead(request, wrongSession) + number;
    const bool stored = storeIn(*m_download, request.mid(4));
    return answerHead(request, stored ? done : wrongCheckValue) + number;
}

// Number(2), check value(2), data; false when the check value is wrong. A fragment that the
// loss takes is answered as stored all the same.
bool SimulatedFirmware::storeIn(Download &download, const QByteArray &numberCheckAndData)
{
    const int index = be16(numberCheckAndData, 0);
    const QByteArray data = numberCheckAndData.mid(4);
    if (quint16(crc16(data) ^ download.session) != be16(numberCheckAndData, 2))
        return false;
    const bool lost = m_lossPercent > 0 && int(m_lossRandom.bounded(100)) < m_lossPercent;
    if (index >= 1 && index <= fragmentCount(download) && !lost)
        download.fragments.insert(index, data);
    return true;
}

QByteArray SimulatedFirmware::missingFragments(const QByteArray &request) const
{
    ++m_missingQuestions;
    if (!m_download || request.size() != 6 || be16(request, 4) != m_download->session)
        return answerHead(request, wrongSession);
    return answerHead(request, done) + missingRanges(*m_download);
}

QByteArray SimulatedFirmware::missingRanges(const Download &download)
{
    QByteArray ranges;
    int count = 0;
    const int last = fragmentCount(download);
    for (int first = 1; first <= last && count < maximumRanges; ++first) {
        if (download.fragments.contains(first))
            continue;
        int end = first;
        while (end < last && !download.fragments.contains(end + 1))
            ++end;
        ranges += bigEndian(quint32(first), 2) + bigEndian(quint32(end), 2);
        ++count;
        first = end;
    }
    return char(count) + ranges;
}

QByteArray SimulatedFirmware::apply(const QByteArray &request)
{
    if (!m_download || request.size() != 6 || be16(request, 4) != m_download->session ||
        m_download->fragments.size() != fragmentCount(*m_download))
        return answerHead(request, wrongSession);
    const QByteArray image = assembledImage(*m_download);
    if (quint32(image.size()) != m_download->size || crc32(image) != m_download->crc)
        return answerHead(request, wrongSession);
    m_installedImage = image;
    m_installedNumber = m_download->number;
    m_installedVersion = m_download->version;
    m_download.reset();
    return answerHead(request, done);
}

QByteArray SimulatedFirmware::pendingInformation() const
{
    const QByteArray head = QByteArray::fromHex("010A0903");
    if (!m_download)
        return head + wrongSession;
    return head + done + m_download->password + m_download->number + m_download->version +
           bigEndian(m_download->size, 4) + bigEndian(m_download->session, 2);
}

// 01 07 01, installed number(2) and version(4), pending number(2) and version(4), five
// reserved bytes, nine pieces of 10 bytes of pending stack information, then the installed
// stack version(2) and two reserved bytes.
QByteArray SimulatedFirmware::information() const
{
    QByteArray answer = QByteArray::fromHex("010701") + m_installedNumber + m_installedVersion;
    answer += m_download ? m_download->number + m_download->version : QByteArray(6, '\0');
    answer += QByteArray(5, '\0');
    answer += QByteArray(90, '\0');
    answer += m_installedStack + QByteArray(2, '\0');
    return answer;
}

QByteArray SimulatedFirmware::parameters(const QByteArray &request)
{
    const bool reading = request.at(2) == 0x01;
    if (!reading) {
        // Of what is written, only the dynamic configuration word is kept.
        for (int at = 4; at + 1 < request.size();) {
            const int length = quint8(request.at(at + 1));
            if (request.at(at) == 0x10 && at + 2 + length <= request.size())
                m_dynamicWord = request.mid(at + 2, length);
            // The route: number of relays, then the target.
            if (request.at(at) == 0x01 && length >= 5 && at + 2 + length <= request.size())
                m_routeTarget = request.mid(at + 3, 4);
            at += 2 + length;
        }
        return QByteArray::fromHex("010502") + done;
    }
    // Only the dynamic configuration word is read back; every other parameter reads as zeros.
    QByteArray values;
    for (int at = 4; at + 1 < request.size(); at += 2) {
        const char tag = request.at(at);
        const int length = quint8(request.at(at + 1));
        values += tag == 0x10 ? m_dynamicWord.leftJustified(length, '\0', true)
                              : QByteArray(length, '\0');
    }
    return QByteArray::fromHex("010501") + values;
}

int SimulatedFirmware::fragmentCount(const Download &download)
{
    return int((download.size + fragmentBytes - 1) / fragmentBytes);
}

QByteArray SimulatedFirmware::assembledImage(const Download &download)
{
    QByteArray image;
    for (const QByteArray &fragment : download.fragments)
        image += fragment;
    return image;
}
