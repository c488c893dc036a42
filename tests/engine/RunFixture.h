#pragma once

#include "TestHost.h"
#include "engine/TransferRun.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A temporary root with an empty source folder and an empty destination folder in it.
class FolderFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        src = root.filePath("src");
        dst = root.filePath("dst");
        ASSERT_TRUE(QDir().mkpath(src));
        ASSERT_TRUE(QDir().mkpath(dst));
    }

    QString in(const QString &folder, const QString &name) const { return folder + "/" + name; }

    QTemporaryDir root;
    QString src;
    QString dst;
};

// The folders behind a stand-in main window that names them, with private settings that keep
// the log lines free of dates and check the destination before a run.
class HostFixture : public FolderFixture
{
protected:
    void SetUp() override
    {
        FolderFixture::SetUp();
        if (HasFatalFailure())
            return;
        host.source = src;
        host.destination = dst;
        settings.set("ShowDateAndTime", "0");
        settings.set("CheckDestination", "1");
    }

    TestSettings settings;
    TestHost host;
};

// A transfer run on that window that lets events run at every point where it offers them and
// touches a file only at its turn, so that a test can act there.
class RunFixture : public HostFixture
{
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        if (HasFatalFailure())
            return;
        run.setEventInterval(0);
        run.setFilesAhead(0);
    }

    TestRun run {host};
};
