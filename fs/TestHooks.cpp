#include "fs/TestHooks.h"

#include <atomic>

namespace modFSO
{

namespace
{

std::atomic<const testing::CopyObserver *> copyObserver {nullptr};
std::atomic<bool> emptyPathLinksRefusedByTest {false};
std::atomic<bool> unnamedFilesRefusedByTest {false};

} // namespace

void testing::setCopyObserver(const CopyObserver *observer)
{
    copyObserver.store(observer);
}

void testing::refuseEmptyPathLinks(bool refuse)
{
    emptyPathLinksRefusedByTest.store(refuse);
}

void testing::refuseUnnamedFiles(bool refuse)
{
    unnamedFilesRefusedByTest.store(refuse);
}

void detail::notifyAfterChunk(const QByteArray &name)
{
    if (const testing::CopyObserver *observer = copyObserver.load(); observer && observer->afterChunk)
        observer->afterChunk(name);
}

void detail::notifyBeforePlacement(const QByteArray &name)
{
    if (const testing::CopyObserver *observer = copyObserver.load(); observer && observer->beforePlacement)
        observer->beforePlacement(name);
}

void detail::notifyBeforeRename(const QByteArray &hiddenName)
{
    if (const testing::CopyObserver *observer = copyObserver.load(); observer && observer->beforeRename)
        observer->beforeRename(hiddenName);
}

bool detail::emptyPathLinksRefused()
{
    return emptyPathLinksRefusedByTest.load();
}

bool detail::unnamedFilesRefused()
{
    return unnamedFilesRefusedByTest.load();
}

} // namespace modFSO
