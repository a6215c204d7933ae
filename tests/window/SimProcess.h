// kestrin-sim as a child process: started with the caller's port folder,
// ready once it has printed its one line "COM<n> <device>".
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class SimProcess
{
public:
    // Starts `program` with `options`; false (and Error() says why) when it
    // does not print its line within `ms`.
    bool Start(const QString& program, const QStringList& options, int ms = 10000)
    {
        Process.setProgram(program);
        Process.setArguments(options);
        Process.setProcessChannelMode(QProcess::SeparateChannels);
        Process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        Process.start();
        if (!Process.waitForStarted(ms)) {
            Why = Process.errorString();
            return false;
        }
        while (!Process.canReadLine()) {
            if (!Process.waitForReadyRead(ms)) {
                Why = QString::fromLocal8Bit(Process.readAllStandardError());
                return false;
            }
        }
        const QString line = QString::fromLocal8Bit(Process.readLine()).trimmed();
        const QStringList parts = line.split(u' ');
        if (parts.size() != 2 || !parts[0].startsWith(QLatin1String("COM"))) {
            Why = QStringLiteral("unexpected first line: ") + line;
            return false;
        }
        Port = parts[0].mid(3).toUInt();
        Device = parts[1];
        return Port != 0;
    }

    // SIGTERM, then wait; the simulator removes its link on the way out.
    int Stop(int ms = 5000)
    {
        if (Process.state() == QProcess::NotRunning)
            return Process.exitCode();
        Process.terminate();
        if (!Process.waitForFinished(ms)) {
            Process.kill();
            Process.waitForFinished(ms);
        }
        return Process.exitCode();
    }

    ~SimProcess() { Stop(); }

    unsigned Port = 0;
    QString Device;
    QString Error() const { return Why; }

private:
    QProcess Process;
    QString Why;
};
