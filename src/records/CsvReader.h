#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// Reads comma-separated values as RFC 4180 writes them, and as browsers and password keepers
// export them: fields separated by commas, records ended by CR LF, a lone LF or a lone CR; a
// field in double quotes may hold commas, line breaks (kept byte for byte) and doubled quotes
// (one quote each). A UTF-8 byte order mark at the start is dropped. The fields are returned as
// the file's bytes (UTF-8 for every format read here); their decoding is the caller's.
//
// Lenient where exports differ from the RFC: a quote inside an unquoted field, and text after a
// closing quote, are kept as text. Empty lines are passed over.
//
// The file comes from outside the program, so every quantity has a ceiling (CsvLimits). A record
// past a ceiling of its own (a field too long, too many columns, a quote never closed) is read to
// its end without keeping the excess and returned as BadRecord with the reason; a file past the
// size or record ceiling ends with Error. Memory stays bounded by the record ceiling whatever the
// file holds, and time grows with the file's size only.
namespace Records {

struct CsvLimits
{
    qint64 maxFileBytes = 128 * 1024 * 1024;    // the whole file
    qsizetype maxFieldBytes = 1024 * 1024;      // one field
    qsizetype maxRecordBytes = 4 * 1024 * 1024; // one record, all its fields
    qsizetype maxColumns = 256;                 // fields of one record
    qint64 maxRecords = 1000000;                // records, the header included
};

class CsvReader
{
public:
    enum class Status
    {
        Record,    // fields holds the next record
        BadRecord, // a record past a ceiling: fields is empty, problem() says why
        End,       // no more records
        Error,     // the file cannot be read further: problem() says why
    };

    // Reads from device, which must stay open and alive while the reader is used.
    explicit CsvReader(QIODevice& device, const CsvLimits& limits = {});

    Status next(QList<QByteArray>& fields);

    // Why the last BadRecord or Error came.
    const QString& problem() const { return m_problem; }
    // The line of the file on which the last record began (1 for the first).
    qint64 recordLine() const { return m_recordLine; }
    // Bytes consumed so far, for progress.
    qint64 position() const { return m_position; }

private:
    int get();  // next byte, or -1 at the end (or on a read error, see m_failed)
    int peek(); // the byte get() would return next, without consuming it
    bool fill();
    Status tooLarge();

    QIODevice& m_device;
    CsvLimits m_limits;
    QByteArray m_buffer;
    qsizetype m_at = 0;
    qint64 m_position = 0;
    qint64 m_readTotal = 0;
    qint64 m_line = 1;
    qint64 m_recordLine = 1;
    qint64 m_records = 0;
    bool m_started = false;
    bool m_eof = false;
    bool m_failed = false;
    bool m_tooLarge = false;
    QString m_problem;
};

} // namespace Records
