// SplitFields, the line-break codec of descriptions and the case and blank rules of names.

#include "FuzzSupport.h"

#include "util/Fields.h"

namespace {

bool isBlank(char c)
{
    return quint8(c) <= 0x20;
}

void checkSplit(char separator, const QByteArray& text)
{
    const StringList fields = UUtils::SplitFields(separator, text);
    for (const QByteArray& field : fields)
        FUZZ_CHECK(!field.contains(separator));
    // Every separator ends a field; the rest is a field only when it is not empty.
    const bool tail = !text.isEmpty() && text.back() != separator;
    FUZZ_CHECK(fields.size() == text.count(separator) + (tail ? 1 : 0));
    QByteArray joined;
    for (const QByteArray& field : fields)
        joined += field + separator;
    if (tail)
        joined.chop(1);
    FUZZ_CHECK(joined == text);
}

void checkLineBreaks(const QByteArray& text)
{
    const QByteArray encoded = UUtils::EncodeLineBreaks(text);
    FUZZ_CHECK(!encoded.contains('\r') && !encoded.contains('\n'));
    FUZZ_CHECK(encoded.size() == text.size() + text.count('\r') + text.count('\n'));
    const QByteArray decoded = UUtils::DecodeLineBreaks(text);
    FUZZ_CHECK(decoded.size() <= text.size());

    // A description without the two escape bytes comes back as it was.
    if (!text.contains(UUtils::kFieldSeparator) && !text.contains(UUtils::kLineFeedEscape))
        FUZZ_CHECK(UUtils::DecodeLineBreaks(encoded) == text);
    // A stored text without line breaks is what its decoded form encodes to.
    if (!text.contains('\r') && !text.contains('\n'))
        FUZZ_CHECK(UUtils::EncodeLineBreaks(decoded) == text);
}

void checkNames(const QByteArray& a, const QByteArray& b)
{
    const QByteArray upper = UUtils::upperAscii(a);
    FUZZ_CHECK(upper.size() == a.size());
    for (qsizetype i = 0; i < a.size(); ++i)
        FUZZ_CHECK(upper[i] == ((a[i] >= 'a' && a[i] <= 'z') ? char(a[i] - 32) : a[i]));
    FUZZ_CHECK(UUtils::sameTextIgnoringCase(a, b) == (upper == UUtils::upperAscii(b)));

    const QByteArray trimmed = UUtils::trimControls(a);
    FUZZ_CHECK(trimmed.isEmpty() || (!isBlank(trimmed.front()) && !isBlank(trimmed.back())));
    const qsizetype at = a.indexOf(trimmed);
    FUZZ_CHECK(at >= 0);
    for (qsizetype i = 0; i < a.size(); ++i)
        FUZZ_CHECK((i >= at && i < at + trimmed.size()) || isBlank(a[i]));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const char separator = char(input.ConsumeIntegral<uint8_t>());
    const QByteArray other = Fuzz::takeBytes(input, 64);
    const QByteArray text = Fuzz::takeRest(input);

    checkSplit(separator, text);
    for (const char fixed : {UUtils::kFieldSeparator, '^', char(0xAF)})
        checkSplit(fixed, text);
    checkLineBreaks(text);
    checkNames(text, other);
    return 0;
}
