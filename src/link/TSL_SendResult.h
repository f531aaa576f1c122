#pragma once

// The result of a send on any link; the data sender turns it into a packet status.
namespace TSL_SendResult {

enum : int
{
    PayloadTooLong = 0,
    PayloadTooShort = 1,
    Nak = 2,
    SessionNumberError = 3,
    Sent = 4,
    Buffered = 5,
    Rejected = 6,
    Recovered = 7,
    Error = 8
};

} // namespace TSL_SendResult
