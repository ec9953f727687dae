// Files that claim to be locked with a pass phrase (age): raw bytes as they come, and files written
// here, then damaged. The work factor is kept low so that each input runs fast.

#include "FuzzSupport.h"

#include "crypto/AgeFile.h"

namespace {

constexpr int kMaxFactor = 2;

const Age::Key& fixedKey()
{
    static const Age::Key key = Age::newKey("password", 1);
    return key;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const int kind = input.ConsumeIntegralInRange(0, 2);

    if (kind == 0) {
        // Any bytes: the reader answers with a reason, never with a plain text it did not check.
        const QByteArray file = Fuzz::takeRest(input);
        QByteArray plain = "before";
        const Age::Status status = Age::decrypt(file, "password", &plain, nullptr, kMaxFactor);
        FUZZ_CHECK(status == Age::Status::Ok || plain == "before");
        const Age::Header header = Age::readHeader(file, kMaxFactor);
        FUZZ_CHECK(header.status != Age::Status::Ok ||
                   (header.workFactor >= 1 && header.workFactor <= kMaxFactor && file.startsWith(header.header)));
        if (status == Age::Status::Ok)
            FUZZ_CHECK(plain.size() < file.size());
        return 0;
    }
    if (kind == 1) {
        // The grammar and the payload under a known file key, whatever the recipients.
        const QByteArray file = Fuzz::takeRest(input);
        QByteArray plain;
        Age::decryptWithFileKey(file, QByteArray(16, 'k'), &plain);
        return 0;
    }

    // A file of ours, then damaged: a byte changed, the end cut off or bytes added.
    const uint8_t damage = input.ConsumeIntegral<uint8_t>();
    const uint32_t where = input.ConsumeIntegral<uint32_t>();
    const uint8_t flip = input.ConsumeIntegralInRange<uint8_t>(1, 255);
    const qsizetype repeat = input.ConsumeIntegralInRange<qsizetype>(1, 2 * Age::kChunkSize);
    const QByteArray seed = Fuzz::takeRest(input);
    const QByteArray plain = seed.isEmpty() ? QByteArray() : seed.repeated(1 + repeat / seed.size()).left(repeat);
    const QByteArray sealed = Age::encrypt(plain, fixedKey());
    FUZZ_CHECK(!sealed.isEmpty());
    const QByteArray damaged = Fuzz::damaged(sealed, damage, where, flip);
    QByteArray opened;
    const Age::Status status = Age::decryptWithKey(damaged, fixedKey(), &opened);
    if (damage % 4 == 0)
        FUZZ_CHECK(status == Age::Status::Ok && opened == plain);
    else
        FUZZ_CHECK(status != Age::Status::Ok);
    QByteArray again;
    FUZZ_CHECK((Age::decrypt(damaged, "password", &again, nullptr, kMaxFactor) == Age::Status::Ok) ==
               (damage % 4 == 0));
    return 0;
}
