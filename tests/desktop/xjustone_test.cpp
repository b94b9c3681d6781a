// The single running copy, with real second processes in a private runtime folder.
#include "desktoptestutil.h"
#include "xjustone.h"

#include <QDateTime>
#include <QDir>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace desktoptest;

namespace {

class SingleInstance : public ::testing::Test
{
protected:
    // Starts a copy that runs until it is killed (or ends at once when it is a second one).
    std::unique_ptr<Child> start(const QString &title, const QString &program = helperPath(),
                                 const QString &lockFolder = QString())
    {
        auto child = std::make_unique<Child>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child->process->setProcessEnvironment(env);
        QStringList args{QStringLiteral("instance"), title};
        if (!lockFolder.isEmpty())
            args << lockFolder;
        child->process->start(program, args);
        return child;
    }

    // Waits until the copy has printed the line; everything it printed so far is kept.
    bool says(Child &child, const char *line)
    {
        QByteArray &out = m_output[child.process.get()];
        const auto seen = [&] {
            return out.split('\n').contains(QByteArray(line));
        };
        while (!seen()) {
            if (!child.process->waitForReadyRead(10000))
                return false;
            out += child.process->readAllStandardOutput();
        }
        return true;
    }

    // A second copy must end by itself, successfully, having printed only that.
    void expectEndsAsSecond(Child &child)
    {
        ASSERT_TRUE(child.process->waitForFinished(20000)) << "the second copy kept running";
        EXPECT_EQ(child.process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.process->exitCode(), 0);
    }

    QTemporaryDir m_dir;
    QString m_runtime = m_dir.path(); // made for the owner only, as a runtime folder must be
    std::map<QProcess *, QByteArray> m_output;
};

// The first copy's lock is old on purpose: a copy may run for weeks and still counts.
TEST_F(SingleInstance, SecondStartRaisesTheFirstAndEndsWithoutAWindow)
{
    auto first = start("Velmora");
    ASSERT_TRUE(says(*first, "first"));
    QFile lock(m_runtime + "/Velmora.lock");
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    lock.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime);
    lock.close();

    auto second = start("Velmora");
    expectEndsAsSecond(*second);
    EXPECT_EQ(second->process->readAllStandardOutput(), "second\n");
    EXPECT_TRUE(says(*first, "activated"));
}

TEST_F(SingleInstance, TheProgramItselfEndsBesideARunningCopy)
{
#ifndef VELMORA_PROGRAM
    GTEST_SKIP() << "the program is not built here";
#else
    auto first = start("Velmora");
    ASSERT_TRUE(says(*first, "first"));
    auto program = start("Velmora", QStringLiteral(VELMORA_PROGRAM));
    expectEndsAsSecond(*program);
    EXPECT_TRUE(says(*first, "activated"));
#endif
}

TEST_F(SingleInstance, LockOfAKilledCopyNeverBlocks)
{
    auto crashed = start("Velmora");
    ASSERT_TRUE(says(*crashed, "first"));
    crashed->process->kill(); // SIGKILL: the lock and the socket file stay behind
    crashed->process->waitForFinished();
    ASSERT_TRUE(QFile::exists(m_runtime + "/Velmora.lock"));

    auto next = start("Velmora");
    ASSERT_TRUE(says(*next, "first"));
    auto second = start("Velmora");
    expectEndsAsSecond(*second);
    EXPECT_TRUE(says(*next, "activated")) << "the new copy listens on the old socket's place";
}

TEST_F(SingleInstance, CopiesOfAnotherTitleDoNotSeeEachOther)
{
    auto velmora = start("Velmora");
    ASSERT_TRUE(says(*velmora, "first"));
    auto other = start("Autre");
    EXPECT_TRUE(says(*other, "first"));
}

// A lock folder that is a file: no lock can be made there, and the user still gets in.
TEST_F(SingleInstance, LockThatCannotBeCreatedLetsTheProgramStart)
{
    QTemporaryFile notAFolder;
    ASSERT_TRUE(notAFolder.open());
    auto copy = start("Velmora", helperPath(), notAFolder.fileName());
    EXPECT_TRUE(says(*copy, "unguarded"));
    copy->process->setReadChannel(QProcess::StandardError);
    if (!copy->process->canReadLine())
        copy->process->waitForReadyRead(10000);
    EXPECT_TRUE(copy->process->readAllStandardError().contains("Velmora.lock"))
        << "one line tells why";
    EXPECT_EQ(copy->process->state(), QProcess::Running);
}

// What a dead copy, a full disk or another user can leave where the lock goes. None of it may
// end the program without a word: the copy starts, guarded (it took the lock over) or not.
TEST_F(SingleInstance, ALockNobodyAliveHoldsNeverEndsTheProgram)
{
    const auto makeLockFolder = [](const QString &lock) { QDir().mkdir(lock); };
    const auto makeUnwritableLock = [](const QString &lock) {
        QFile file(lock);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("999999999\ndesktop_helper\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    };
    for (const auto &leave : {std::function<void(const QString &)>(makeLockFolder),
                              std::function<void(const QString &)>(makeUnwritableLock)}) {
        QTemporaryDir runtime;
        leave(runtime.path() + "/Velmora.lock");
        auto copy = start("Velmora", helperPath(), runtime.path());
        ASSERT_TRUE(copy->process->waitForReadyRead(10000)) << "the copy ended without a word";
        const QByteArray said = copy->process->readAllStandardOutput();
        EXPECT_TRUE(said == "first\n" || said == "unguarded\n") << said.constData();
        EXPECT_EQ(copy->process->state(), QProcess::Running);
    }
}

// A lock folder others may enter is not used: another user could take or fake the lock there.
TEST_F(SingleInstance, ALockFolderOpenToOthersIsNotUsed)
{
    QTemporaryDir open;
    QFile::setPermissions(open.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                           | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
    auto copy = start("Velmora", helperPath(), open.path());
    EXPECT_TRUE(says(*copy, "unguarded"));
    EXPECT_FALSE(QFile::exists(open.path() + "/Velmora.lock"));
}

} // namespace
