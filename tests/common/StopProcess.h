#pragma once

#include <QProcess>

namespace TestProcesses
{

// Ends a helper process of a test: asked to end first, killed when it does not.
inline void stop(QProcess &process, int timeoutMs = 5000)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
}

} // namespace TestProcesses
