#pragma once

#include "ReaderSimulator.h"
#include "link/TSL_CMD.h"
#include "link/TSL_CMD_TCP.h"

#include <QtGlobal>

#include <functional>
#include <memory>

// Links to the simulated reader, opened and ready to send. Null, with open()'s result in the
// log, when a link would not open: the caller checks with QVERIFY(link).
namespace LinkOpening {

template<typename Link>
std::unique_ptr<Link> opened(std::unique_ptr<Link> link)
{
    const int result = link->open();
    if (result != 0)
        qWarning("open() of the link returned %d", result);
    return result == 0 ? std::move(link) : nullptr;
}

inline std::unique_ptr<TSL_CMD> serial(const ReaderSimulator &reader)
{
    return opened(std::make_unique<TSL_CMD>(reader.serialPortName(), 115200));
}

// prepare sees the link before open(), for what only open() takes over.
inline std::unique_ptr<TSL_CMD_TCP> tcp(const ReaderSimulator &reader,
                                        const std::function<void(TSL_CMD_TCP &)> &prepare)
{
    auto link = std::make_unique<TSL_CMD_TCP>(QStringLiteral("127.0.0.1"), reader.tcpPort());
    prepare(*link);
    return opened(std::move(link));
}

} // namespace LinkOpening
