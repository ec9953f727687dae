#include "records/CsvReader.h"

#include <QIODevice>
#include <QLocale>

namespace Records {
namespace {

constexpr qint64 kChunk = 64 * 1024;

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 0, QLocale::DataSizeIecFormat);
}

} // namespace

CsvReader::CsvReader(QIODevice& device, const CsvLimits& limits) : m_device(device), m_limits(limits) {}

bool CsvReader::fill()
{
    if (m_eof)
        return false;
    // One byte past the ceiling tells a file that is too large from one that just fits; reading
    // stops there.
    const qint64 room = m_limits.maxFileBytes + 1 - m_readTotal;
    if (room <= 0) {
        m_tooLarge = true;
        m_eof = true;
        m_buffer.clear();
        m_at = 0;
        return false;
    }
    m_buffer.resize(qsizetype(std::min(kChunk, room)));
    const qint64 got = m_device.read(m_buffer.data(), m_buffer.size());
    if (got <= 0) {
        m_failed = got < 0;
        m_eof = true;
        m_buffer.clear();
        m_at = 0;
        return false;
    }
    m_readTotal += got;
    m_buffer.resize(qsizetype(got));
    m_at = 0;
    return true;
}

int CsvReader::get()
{
    if (m_at == m_buffer.size() && !fill())
        return -1;
    ++m_position;
    return quint8(m_buffer[m_at++]);
}

int CsvReader::peek()
{
    if (m_at == m_buffer.size() && !fill())
        return -1;
    return quint8(m_buffer[m_at]);
}

CsvReader::Status CsvReader::tooLarge()
{
    m_problem = QStringLiteral("The file is larger than %1, the most that an import reads.")
                    .arg(sizeText(m_limits.maxFileBytes));
    return Status::Error;
}

CsvReader::Status CsvReader::next(QList<QByteArray>& fields)
{
    fields.clear();
    if (!m_started) {
        m_started = true;
        if (!m_device.isSequential() && m_device.size() > m_limits.maxFileBytes)
            return tooLarge();
        if (peek() == 0xEF) {
            // A UTF-8 byte order mark: EF BB BF. Anything else starting with EF is text.
            if (m_buffer.size() - m_at >= 3 && m_buffer.mid(m_at, 3) == "\xEF\xBB\xBF") {
                m_at += 3;
                m_position += 3;
            }
        }
    }

    {
        m_recordLine = m_line;
        if (m_records >= m_limits.maxRecords && peek() >= 0) {
            m_problem = QStringLiteral("The file has more than %1 rows, the most that an import reads.")
                            .arg(QLocale::c().toString(m_limits.maxRecords - 1));
            return Status::Error;
        }
        m_recordLine = m_line;
        QByteArray field;
        qsizetype recordBytes = 0;
        bool quoted = false;       // inside a quoted field
        bool fieldStarted = false; // the current field has begun (a quote now is text)
        bool any = false;          // the record has at least one byte
        QString bad;

        auto append = [&](char c) {
            if (!bad.isEmpty())
                return;
            if (field.size() >= m_limits.maxFieldBytes) {
                bad = QStringLiteral("a field is longer than %1").arg(sizeText(m_limits.maxFieldBytes));
                return;
            }
            if (recordBytes >= m_limits.maxRecordBytes) {
                bad = QStringLiteral("the row is longer than %1").arg(sizeText(m_limits.maxRecordBytes));
                return;
            }
            field.append(c);
            ++recordBytes;
        };
        auto endField = [&] {
            if (bad.isEmpty()) {
                if (fields.size() >= m_limits.maxColumns)
                    bad = QStringLiteral("the row has more than %1 columns").arg(m_limits.maxColumns);
                else
                    fields.append(field);
            }
            field.clear();
            fieldStarted = false;
        };
        auto finish = [&](bool atEnd) -> Status {
            if (atEnd && m_failed) {
                m_problem = QStringLiteral("The file could not be read to its end: %1").arg(m_device.errorString());
                return Status::Error;
            }
            if (m_tooLarge)
                return tooLarge();
            ++m_records;
            if (!bad.isEmpty()) {
                fields.clear();
                m_problem = bad;
                return Status::BadRecord;
            }
            endField();
            if (!bad.isEmpty()) {
                fields.clear();
                m_problem = bad;
                return Status::BadRecord;
            }
            return Status::Record;
        };

        for (;;) {
            const int c = get();
            if (c < 0) {
                if (quoted && bad.isEmpty())
                    bad = QStringLiteral("a quoted field is not closed before the end of the file");
                if (!any) {
                    if (m_tooLarge)
                        return tooLarge();
                    if (m_failed) {
                        m_problem =
                            QStringLiteral("The file could not be read to its end: %1").arg(m_device.errorString());
                        return Status::Error;
                    }
                    return Status::End;
                }
                return finish(true);
            }
            any = true;
            if (quoted) {
                if (c == '"') {
                    if (peek() == '"') {
                        get();
                        append('"');
                    } else {
                        quoted = false;
                    }
                    continue;
                }
                if (c == '\n' || (c == '\r' && peek() != '\n'))
                    ++m_line;
                append(char(c));
                continue;
            }
            if (c == ',') {
                endField();
                continue;
            }
            if (c == '\r' || c == '\n') {
                if (c == '\r' && peek() == '\n')
                    get();
                ++m_line;
                if (fields.isEmpty() && !fieldStarted && field.isEmpty() && bad.isEmpty()) {
                    // An empty line: not a record.
                    m_recordLine = m_line;
                    any = false;
                    continue;
                }
                return finish(false);
            }
            if (c == '"' && !fieldStarted) {
                quoted = true;
                fieldStarted = true;
                continue;
            }
            fieldStarted = true;
            append(char(c));
        }
    }
}

} // namespace Records
