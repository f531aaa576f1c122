#pragma once

#include "t_Reader.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

// The process-wide registry of readers: owns their records, connects and disconnects them
// through the link layer and keeps the project's readers file.
class ReadersList : public QObject
{
    Q_OBJECT

public:
    static ReadersList *instance();
    ~ReadersList() override;

    const QList<t_Reader *> &readers() const { return m_readers; }
    t_Reader *readerAt(int index) const;
    bool findReader(t_Reader **reader, const QByteArray &name) const;
    bool addReader(const t_Reader &reader);
    // Removes the record from the registry and frees it.
    bool removeReader(t_Reader *reader);
    static bool initReader(t_Reader *reader, std::uint32_t type);
    // Connects (2) or disconnects (3) the reader; 1, or the link's negative open() result.
    int setReaderState(t_Reader *reader, int state);

    // "0A 1B 2C 3D": the first four bytes of an address, missing ones as 00.
    static QString addressText(const QByteArray &address);

    // The readers file of the current project.
    // The number of lines that could not be added, or 1 when the file cannot be read.
    int loadReadersFile();
    int appendReaderToFile(const t_Reader &reader);
    int replaceReaderInFile(const QString &key, const t_Reader &reader);
    int removeReaderFromFile(const QString &key);
    bool isReaderInFile(const QString &key) const;

signals:
    void connectedToReader(QString readerName, QString macAddr);
    void disconnectedFromReader(QString readerName);

private:
    ReadersList() = default;

    int connectIpReader(t_Reader *reader);
    int connectSerialReader(t_Reader *reader);
    void disconnectReader(t_Reader *reader);

    QList<t_Reader *> m_readers;
};
