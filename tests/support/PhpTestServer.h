#pragma once

// Runs `php -S 127.0.0.1:PORT -t <docroot>` on a free port for the life of the object.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

class PhpTestServer
{
public:
    PhpTestServer() = default;
    ~PhpTestServer() { stop(); }
    PhpTestServer(const PhpTestServer&) = delete;
    PhpTestServer& operator=(const PhpTestServer&) = delete;

    // Starts the server and waits until it accepts connections. False when php does not start.
    bool start(const QString& docroot,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0))
                return false;
            m_port = probe.serverPort();
            probe.close();

            m_process.setProcessEnvironment(environment);
            m_process.setStandardErrorFile(QProcess::nullDevice());
            m_process.setStandardOutputFile(QProcess::nullDevice());
            m_process.start(QStringLiteral("php"), {QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                                                    QStringLiteral("-t"), docroot});
            if (!m_process.waitForStarted(5000))
                return false;
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < 10000 && m_process.state() == QProcess::Running) {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, m_port);
                if (socket.waitForConnected(200))
                    return true;
                QThread::msleep(50);
            }
            stop(); // the port was taken meanwhile: try another one
        }
        return false;
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }

    quint16 port() const { return m_port; }
    QByteArray url(const QByteArray& path = "/") const
    {
        return "http://127.0.0.1:" + QByteArray::number(m_port) + path;
    }

private:
    QProcess m_process;
    quint16 m_port = 0;
};
