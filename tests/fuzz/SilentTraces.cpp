#include <QByteArray>
#include <QtGlobal>

// Every harness runs millions of inputs: the link layer's traces would drown the fuzzer.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("OVS_LINK_TRACE", "0");
    return 0;
}
