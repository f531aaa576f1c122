#include "RegistryReader.h"

#include "readers/ReadersList.h"

t_Reader *addConnectedReader(const QByteArray &name, const QString &serialPort, quint16 tcpPort)
{
    const bool serial = !serialPort.isEmpty();
    t_Reader record;
    ReadersList::initReader(&record, serial ? READER_SERIAL : READER_IP);
    setReaderText(record.name, name);
    if (serial) {
        setReaderText(record.comPort, serialPort.toLatin1());
    } else {
        setReaderText(record.ipAddress, "127.0.0.1");
        record.ipPort = tcpPort;
    }
    ReadersList *registry = ReadersList::instance();
    registry->addReader(record);
    t_Reader *reader = nullptr;
    if (!registry->findReader(&reader, name) ||
        registry->setReaderState(reader, STATE_CONNECTED) != 1)
        return nullptr;
    return reader;
}
