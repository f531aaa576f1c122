#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A script file read one line at a time, whatever its line ends ("\n", "\r\n" or "\r"), and
// never more than a line and a block of it at once: a file of garbage without line ends must
// not fill the memory. The start of every line is a position that a loop can come back to.
class ScriptFile
{
public:
    // Longer lines are cut; readLine tells.
    static constexpr int maximumLineLength = 1 << 20;

    explicit ScriptFile(const QString &path);

    bool open();
    // The next line without its end; false at the end of the file. tooLong, when given, tells
    // whether the line was cut.
    bool readLine(QString *line, bool *tooLong = nullptr);
    // Where the next line starts.
    qint64 position() const { return m_bufferStart + m_bufferPos; }
    bool seek(qint64 position);

private:
    bool refill();

    QFile m_file;
    QByteArray m_buffer;
    int m_bufferPos = 0;
    qint64 m_bufferStart = 0;
};
