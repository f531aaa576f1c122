#include "RegistryReset.h"

#include "readers/ReadersList.h"

#include <QCoreApplication>
#include <QEvent>

void resetReaderRegistry()
{
    ReadersList *registry = ReadersList::instance();
    while (!registry->readers().isEmpty()) {
        t_Reader *reader = registry->readers().first();
        if (reader->state == STATE_CONNECTED)
            registry->setReaderState(reader, STATE_DISCONNECTED);
        registry->removeReader(reader);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
