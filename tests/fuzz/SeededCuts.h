#pragma once

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>

// Splits a fuzzer input into a stream and the way it arrives: the first bytes seed a
// xorshift generator that decides where the stream is cut, so that the fuzzer explores both.
class SeededCuts
{
public:
    SeededCuts(const std::uint8_t *data, std::size_t size);
    const QByteArray &stream() const { return m_stream; }
    // Non-empty consecutive pieces that make up the stream, always the same for an input.
    QList<QByteArray> pieces() const;

private:
    QByteArray m_stream;
    std::uint32_t m_seed = 0;
};
