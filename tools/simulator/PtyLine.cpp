#include "PtyLine.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

constexpr qint64 unlimited = std::numeric_limits<qint64>::max();
// Long enough for the client to read a cut frame before the hang-up flushes its input.
constexpr int hangUpDelayMs = 100;

} // namespace

PtyLine::PtyLine(QObject *parent)
    : QObject(parent)
    , m_paceTimer(new QTimer(this))
    , m_hangUpTimer(new QTimer(this))
{
    m_paceTimer->setTimerType(Qt::PreciseTimer);
    m_paceTimer->setInterval(1);
    connect(m_paceTimer, &QTimer::timeout, this, &PtyLine::onPaceTick);
    m_hangUpTimer->setSingleShot(true);
    m_hangUpTimer->setInterval(hangUpDelayMs);
    connect(m_hangUpTimer, &QTimer::timeout, this, &PtyLine::close);
}

PtyLine::~PtyLine()
{
    close();
}

bool PtyLine::open(const QString &linkPath)
{
    close();
    m_linkPath = linkPath;
    if (linkPath.endsWith(QLatin1String("XXXX"))) {
        do {
            const quint32 suffix = QRandomGenerator::global()->bounded(0x1000u, 0x10000u);
            m_linkPath = linkPath.chopped(4) + QString::number(suffix, 16);
        } while (QFileInfo(m_linkPath).exists() || QFileInfo(m_linkPath).isSymLink());
    }
    return openPty();
}

bool PtyLine::reopen()
{
    close();
    return openPty();
}

void PtyLine::close()
{
    m_hangUpTimer->stop();
    m_paceTimer->stop();
    m_output.clear();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    closeFds();
}

void PtyLine::write(const QByteArray &bytes, int tag, bool closeAfter)
{
    if (m_master < 0 || bytes.isEmpty() || m_hangUpTimer->isActive())
        return;
    m_output.push_back({bytes, 0, tag, closeAfter});
    startOutput();
}

void PtyLine::setSplitIntoSingleBytes(bool split)
{
    m_split = split;
    startOutput();
}

void PtyLine::setBaudRate(int baud)
{
    m_bytesPerSecond = std::max(baud, 0) / 10;
    m_paceTimer->stop();
    startOutput();
}

bool PtyLine::openPty()
{
#ifdef Q_OS_UNIX
    termios settings{};
    ::cfmakeraw(&settings);
    settings.c_cflag |= CREAD | CLOCAL;
    ::cfsetspeed(&settings, B115200);
    if (::openpty(&m_master, &m_slave, nullptr, &settings, nullptr) != 0) {
        m_master = m_slave = -1;
        return false;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    char name[128] = {};
    if (::ttyname_r(m_slave, name, sizeof name) != 0) {
        closeFds();
        return false;
    }
    m_slaveName = QString::fromLocal8Bit(name);
    if (!m_linkPath.isEmpty()) {
        const QByteArray link = QFile::encodeName(m_linkPath);
        if (QFileInfo(m_linkPath).isSymLink())
            ::unlink(link.constData());
        if (::symlink(name, link.constData()) != 0) {
            closeFds();
            return false;
        }
    }
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyLine::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] { writeOut(unlimited); });
    return true;
#else
    return false;
#endif
}

void PtyLine::closeFds()
{
#ifdef Q_OS_UNIX
    if (m_master >= 0 && !m_linkPath.isEmpty())
        ::unlink(QFile::encodeName(m_linkPath).constData());
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
#endif
    m_master = m_slave = -1;
}

void PtyLine::onReadable()
{
#ifdef Q_OS_UNIX
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t size = ::read(m_master, buffer, sizeof buffer);
        if (size > 0)
            bytes.append(buffer, int(size));
        else if (size == 0 || errno != EINTR)
            break;
    }
    if (!bytes.isEmpty())
        emit received(bytes);
#endif
}

qint64 PtyLine::writeFd(const char *data, qint64 size)
{
#ifdef Q_OS_UNIX
    for (;;) {
        const ssize_t written = ::write(m_master, data, size_t(size));
        if (written >= 0 || errno != EINTR)
            return written;
    }
#else
    Q_UNUSED(data)
    Q_UNUSED(size)
    return -1;
#endif
}

void PtyLine::startOutput()
{
    if (m_output.empty() || m_master < 0)
        return;
    if (!isPaced()) {
        m_paceTimer->stop();
        if (!m_writeNotifier->isEnabled())
            writeOut(unlimited);
        return;
    }
    m_writeNotifier->setEnabled(false);
    if (!m_paceTimer->isActive()) {
        m_paceClock.start();
        m_pacedBytes = 0;
        m_paceTimer->start();
    }
}

qint64 PtyLine::writeOut(qint64 budget)
{
    const bool hadOutput = !m_output.empty();
    qint64 total = 0;
    while (!m_output.empty() && total < budget && m_master >= 0) {
        Segment &segment = m_output.front();
        const qint64 size = std::min<qint64>(segment.bytes.size() - segment.offset, budget - total);
        const qint64 written = writeFd(segment.bytes.constData() + segment.offset, size);
        if (written < 0) {
#ifdef Q_OS_UNIX
            if (errno != EAGAIN) {
                m_output.clear();
                break;
            }
#endif
            // The client is not reading: wait for room.
            if (!isPaced())
                m_writeNotifier->setEnabled(true);
            return total;
        }
        segment.offset += int(written);
        total += written;
        if (segment.offset < segment.bytes.size())
            continue;
        const Segment done = std::move(segment);
        m_output.pop_front();
        if (done.closeAfter) {
            m_output.clear();
            m_hangUpTimer->start();
        }
        if (done.tag >= 0)
            emit segmentWritten(done.tag);
    }
    if (hadOutput && m_output.empty()) {
        if (m_writeNotifier)
            m_writeNotifier->setEnabled(false);
        m_paceTimer->stop();
        emit drained();
    }
    return total;
}

void PtyLine::onPaceTick()
{
    if (m_split) {
        writeOut(1);
        return;
    }
    const auto due = qint64(double(m_paceClock.nsecsElapsed()) * 1e-9 * m_bytesPerSecond);
    // After a stall the line catches up by at most 10 ms worth of bytes.
    m_pacedBytes = std::max(m_pacedBytes, due - m_bytesPerSecond / 100 - 1);
    m_pacedBytes += writeOut(due - m_pacedBytes);
}
