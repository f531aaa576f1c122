#include "FuzzCheck.h"
#include "firmware/FirmwareAnswers.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

// Fragment numbers come out in order, each once, within the job's fragments.
void checkFragments(const std::optional<QList<int>> &fragments, int fragmentCount)
{
    if (!fragments)
        return;
    int previous = 0;
    for (const int fragment : *fragments) {
        FUZZ_CHECK(fragment > previous && fragment <= fragmentCount);
        previous = fragment;
    }
}

} // namespace

// The first two bytes give the job's number of fragments; the rest is a reader's answer.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int fragmentCount = (int(data[0]) << 8 | data[1]) % 4000;
    const QByteArray answer(reinterpret_cast<const char *>(data + 2), int(size - 2));

    const auto missing = FirmwareAnswers::missingFragments(answer, fragmentCount);
    checkFragments(missing, fragmentCount);
    FUZZ_CHECK(!missing || answer.startsWith(QByteArray::fromHex("010A0927")));
    const auto distant = FirmwareAnswers::distantMissingFragments(answer, fragmentCount);
    checkFragments(distant, fragmentCount);
    FUZZ_CHECK(!distant || answer.startsWith(QByteArray::fromHex("01030227")));

    if (const auto pending = FirmwareAnswers::pendingDownload(answer)) {
        FUZZ_CHECK(pending->password.size() == 16 && pending->firmwareNumber.size() == 4 &&
                   pending->firmwareVersion.size() == 8);
        FUZZ_CHECK(FirmwareAnswers::isDone(answer));
    }

    const QString text = QString::fromLatin1(answer);
    if (const auto information = FirmwareAnswers::information(text)) {
        FUZZ_CHECK(information->installedNumber.size() == 4 &&
                   information->installedVersion.size() == 8 &&
                   information->installedStackVersion.size() == 4);
        FUZZ_CHECK(information->pendingStackInformation.size() == 9 * 20 + 8 * 2);
    }
    return 0;
}
