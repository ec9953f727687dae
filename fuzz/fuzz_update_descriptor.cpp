// The update descriptor (an INI text read a line at a time) and the version it announces.

#include "FuzzSupport.h"

#include "news/UpdateLogic.h"
#include "util/Fields.h"
#include "util/IniFile.h"

#include <QBuffer>

#include <cmath>
#include <cstdlib>

namespace {

QByteArray readValue(const QByteArray& text, const QByteArray& section, const QByteArray& key)
{
    QByteArray copy = text;
    QBuffer device(&copy);
    device.open(QIODevice::ReadOnly);
    return UUtils::readIniValue(device, section, key);
}

bool isBlank(char c)
{
    return quint8(c) <= 0x20;
}

void checkDescriptor(const QByteArray& text, const QByteArray& section, const QByteArray& key)
{
    const QByteArray value = readValue(text, section, key);
    FUZZ_CHECK(value.size() <= text.size());
    FUZZ_CHECK(text.contains(value));
    // The descriptor as the update server writes it is read whatever came before it.
    const QByteArray own = "[APPLICATION]\r\nVersion=" + value + "\r\n";
    if (!value.contains('\n') && !value.contains('\r') && (value.isEmpty() || !isBlank(value.front())))
        FUZZ_CHECK(readValue(own + text, "application", "VERSION") == UUtils::trimControls(value) ||
                   (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')));
}

// A line of a given length holding the value: read up to the reader's longest line, skipped whole
// beyond it (and the next section's value is not taken instead).
void checkLongLine(const QByteArray& value, int padding, bool crlf)
{
    const QByteArray line = "Version=" + QByteArray(padding, ' ') + value;
    const QByteArray text = "[APPLICATION]\n" + line + (crlf ? "\r\n" : "\n") + "[Other]\nVersion=9\n";
    const QByteArray read = readValue(text, "APPLICATION", "Version");
    FUZZ_CHECK(read == (line.size() <= UUtils::kMaxIniLineLength ? value : QByteArray()));
}

// Desktop entries: names byte for byte, the section line exactly "[name]".
void checkExactNames(const QByteArray& text, const QByteArray& section, const QByteArray& key)
{
    QByteArray copy = text;
    QBuffer device(&copy);
    device.open(QIODevice::ReadOnly);
    const QByteArray value = UUtils::findIniValue(device, section, key, UUtils::IniNames::Exact);
    FUZZ_CHECK(text.contains(value));
    FUZZ_CHECK(value.isEmpty() || (!isBlank(value.front()) && !isBlank(value.back())));
}

bool isDecimal(const QByteArray& text)
{
    qsizetype i = (text.startsWith('+') || text.startsWith('-')) ? 1 : 0;
    qsizetype digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        ++digits;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            ++digits;
    return digits > 0 && i == text.size();
}

void checkVersion(const QByteArray& text, const QByteArray& other)
{
    const float number = Update::versionNumber(text);
    FUZZ_CHECK(std::isfinite(number));
    if (!isDecimal(text)) {
        FUZZ_CHECK(number == 0.0f);
        return;
    }
    const bool negative = text.startsWith('-');
    const QByteArray magnitude = (negative || text.startsWith('+')) ? text.mid(1) : text;
    FUZZ_CHECK(Update::versionNumber(magnitude) == (negative ? -number : number));
    FUZZ_CHECK(Update::versionNumber("+" + magnitude) == Update::versionNumber(magnitude));
    // The value of the decimal text, as the C library reads it, where that is a float at all.
    const float expected = std::strtof(QByteArray(text).constData(), nullptr);
    if (std::isfinite(expected) && (expected == 0.0f || std::fabs(expected) >= 1.0e-30f))
        FUZZ_CHECK(number == expected);
    FUZZ_CHECK(Update::isNewerVersion(text, other) == (Update::versionNumber(other) < number));
    FUZZ_CHECK(!Update::isNewerVersion(text, text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0: {
        const QByteArray section = Fuzz::takeBytes(input, 16);
        const QByteArray key = Fuzz::takeBytes(input, 16);
        const QByteArray text = Fuzz::takeRest(input);
        checkDescriptor(text, section, key);
        checkDescriptor(text, "APPLICATION", "Version");
        checkExactNames(text, section, key);
        checkExactNames(text, "Desktop Entry", "Exec");
        break;
    }
    case 1: {
        // Lines around the reader's longest line.
        const int padding = int(UUtils::kMaxIniLineLength) - 8 + 4 - input.ConsumeIntegralInRange(0, 40);
        const bool crlf = input.ConsumeBool();
        QByteArray value = UUtils::trimControls(Fuzz::takeBytes(input, 32));
        for (const char c : {'"', '\'', '\r', '\n'})
            value.replace(c, "x");
        checkLongLine(value.isEmpty() ? QByteArray("2.5") : value, padding - int(value.size()), crlf);
        break;
    }
    default: {
        const QByteArray other = Fuzz::takeBytes(input, 24);
        checkVersion(Fuzz::takeRest(input), other);
        break;
    }
    }
    return 0;
}
