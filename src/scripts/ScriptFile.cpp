#include "ScriptFile.h"

#include "common/Utf8Text.h"

#include <QIODevice>

namespace {

constexpr qint64 blockSize = 64 * 1024;

} // namespace

ScriptFile::ScriptFile(const QString &path)
    : m_file(path)
{
}

bool ScriptFile::open()
{
    return m_file.open(QIODevice::ReadOnly);
}

bool ScriptFile::refill()
{
    m_bufferStart += m_buffer.size();
    m_buffer = m_file.read(blockSize);
    m_bufferPos = 0;
    return !m_buffer.isEmpty();
}

bool ScriptFile::readLine(QString *line, bool *tooLong)
{
    QByteArray bytes;
    bool cut = false;
    bool anything = false;
    for (;;) {
        if (m_bufferPos >= m_buffer.size() && !refill())
            break;
        anything = true;
        const char *data = m_buffer.constData();
        int end = m_bufferPos;
        while (end < m_buffer.size() && data[end] != '\n' && data[end] != '\r')
            ++end;
        const int room = ScriptFile::maximumLineLength - bytes.size();
        const int length = end - m_bufferPos;
        bytes.append(data + m_bufferPos, qMin(length, room));
        cut = cut || length > room;
        m_bufferPos = end;
        if (end == m_buffer.size())
            continue;
        const bool carriageReturn = data[end] == '\r';
        ++m_bufferPos;
        // The "\n" of a "\r\n" may sit in the next block; the next line must not start on it.
        if (carriageReturn && (m_bufferPos < m_buffer.size() || refill()) &&
            m_buffer.at(m_bufferPos) == '\n')
            ++m_bufferPos;
        break;
    }
    if (!anything)
        return false;
    *line = utf8UpToZero(bytes);
    if (tooLong)
        *tooLong = cut;
    return true;
}

bool ScriptFile::seek(qint64 position)
{
    if (!m_file.seek(position))
        return false;
    m_buffer.clear();
    m_bufferPos = 0;
    m_bufferStart = position;
    return true;
}
