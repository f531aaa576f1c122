#include "firmware/FirmwareFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

// An S-record file of records of 16 random bytes, CR LF ended, that every check accepts.
QByteArray firmwareFile(qint64 bytes, QByteArray *binary)
{
    static const char digits[] = "0123456789ABCDEF";
    const auto record = [](char type, const QByteArray &body) {
        QByteArray line = QByteArray("S") + type;
        quint8 sum = 0;
        for (const char byte : body)
            sum += quint8(byte);
        for (const char byte : body + char(~sum)) {
            line += digits[quint8(byte) >> 4];
            line += digits[quint8(byte) & 0xF];
        }
        return line + "\r\n";
    };
    const QByteArray header = "0A01-01020304-ABCDEFGHIJKLMNOP-Bench-V2.00_0396_B-1";
    QByteArray file = record('0', char(header.size() + 3) + QByteArray(2, '\0') + header);
    QRandomGenerator random(1);
    for (quint32 address = 0; file.size() < bytes; address += 16) {
        QByteArray data(16, '\0');
        random.fillRange(reinterpret_cast<quint32 *>(data.data()), 4);
        *binary += data;
        QByteArray body(1, char(21));
        for (const int shift : {24, 16, 8, 0})
            body += char(address >> shift);
        file += record('3', body + data);
    }
    return file + record('7', QByteArray(1, char(5)) + QByteArray(4, '\0'));
}

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Median of three runs, in milliseconds.
double medianMs(const std::function<void()> &run)
{
    double times[3];
    for (double &time : times) {
        QElapsedTimer timer;
        timer.start();
        run();
        time = timer.nsecsElapsed() / 1e6;
    }
    std::sort(times, times + 3);
    return times[1];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const qint64 megabytes = qMax(1, application.arguments().value(1, "50").toInt());
    QByteArray binary;
    const QByteArray file = firmwareFile(megabytes * 1000 * 1000, &binary);
    QTemporaryDir dir;
    QFile out(dir.filePath("bench.srec"));
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
        return 1;
    out.close();
    std::printf("file %lld bytes, image %lld bytes, peak resident %ld KiB after making them\n",
                qint64(file.size()), qint64(binary.size()), peakResidentKiB());

    bool right = true;
    const double check = medianMs([&] { right &= FirmwareFile::recordsValid(file); });
    const double header = medianMs([&] { right &= bool(FirmwareFile::header(file)); });
    const double size = medianMs([&] { right &= FirmwareFile::sizeInKilobytes(file) > 0; });
    std::printf("record check %.1f ms (%.0f MB/s), header %.3f ms, size %.1f ms; peak %ld KiB\n",
                check, file.size() / check / 1000, header, size, peakResidentKiB());
    // A file beyond the panel's limit is refused by its size alone.
    const bool tooLarge = file.size() > FirmwareFile::maxFileSize;
    const double load = medianMs([&] {
        right &= FirmwareFile::load(out.fileName()).bytes.size() == (tooLarge ? 0 : file.size());
    });
    const double read = medianMs([&] {
        QFile in(out.fileName());
        right &= in.open(QIODevice::ReadOnly) && in.readAll().size() == file.size();
    });
    std::printf("load (read, check, header, size) %.1f ms%s, of which reading alone %.1f ms; "
                "peak %ld KiB\n",
                load, tooLarge ? " (refused: too large)" : "", read, peakResidentKiB());
    const double image = medianMs([&] { right &= FirmwareFile::image(file) == binary; });
    std::printf("image %.1f ms (%.0f MB/s of text); peak %ld KiB\n", image,
                file.size() / image / 1000, peakResidentKiB());
    std::printf("%s\n", right ? "all results right" : "WRONG RESULT");
    return right ? 0 : 1;
}
