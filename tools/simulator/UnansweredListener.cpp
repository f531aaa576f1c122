#include "UnansweredListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

UnansweredListener::UnansweredListener()
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    // A backlog of 0 leaves room for one waiting connection, which the filler takes.
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(m_listener, 0) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_filler < 0 || ::connect(m_filler, reinterpret_cast<sockaddr *>(&address), length) != 0)
        return;
    m_port = ntohs(address.sin_port);
}

UnansweredListener::~UnansweredListener()
{
    if (m_filler >= 0)
        ::close(m_filler);
    if (m_listener >= 0)
        ::close(m_listener);
}
