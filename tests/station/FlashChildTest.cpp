// SPDX-License-Identifier: Apache-2.0
// quillon-flash's events as the station reads them, from stand-in flashers written as shell
// scripts: whole lines only, exactly one result and last, a result made for a process that ended
// without one, and the interrupt path.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <functional>
#include <vector>

#include "FirmwareSnapshot.h"
#include "FlashChild.h"
#include "TempDir.h"

namespace {

class FlashChildTest : public ::testing::Test {
  protected:
    QString Script(const std::string& body) {
        const std::string path = m_dir.Write(m_dir.NewName(".sh"), "#!/bin/sh\n" + body);
        QFile::setPermissions(QString::fromStdString(path), QFile::ReadOwner | QFile::ExeOwner);
        return QString::fromStdString(path);
    }
    // Runs program to its end (bounded), collecting events.
    void Run(const QString& program, const std::function<void(CFlashChild&)>& meanwhile = {}) {
        CFlashChild child([this](const QJsonObject& e) { m_events.push_back(e); },
                          [this] { ++m_ends; });
        child.Start(program, {QStringLiteral("--json"), QStringLiteral("127.0.0.1:69"),
                              QStringLiteral("fw.hex")});
        if (meanwhile) meanwhile(child);
        ASSERT_TRUE(QTest::qWaitFor([&] { return child.Ended(); }, 10000));
        m_result = child.Result();
    }
    CTempDir m_dir;
    std::vector<QJsonObject> m_events;
    QJsonObject m_result;
    int m_ends = 0;
};

}  // namespace

TEST_F(FlashChildTest, LinesSplitAcrossWritesAndTheResultLast) {
    Run(Script(
        "printf '{\"unit\":\"127.0.0.1:69\",\"event\":\"progress\",\"stage\":\"era'\n"
        "sleep 0.1\n"
        "printf 'sing\",\"done\":0,\"total\":9}\\nnot json\\n'\n"
        "echo '{\"unit\":\"127.0.0.1:69\",\"event\":\"result\",\"ok\":true,\"exit\":0,"
        "\"message\":\"verified\",\"bytes\":9,\"attempts\":1}'\n"
        "echo '{\"unit\":\"127.0.0.1:69\",\"event\":\"log\",\"line\":\"after the result\"}'\n"));
    ASSERT_EQ(m_events.size(), 2u);
    EXPECT_EQ(m_events[0].value(QStringLiteral("stage")).toString(), QStringLiteral("erasing"));
    EXPECT_TRUE(m_result.value(QStringLiteral("ok")).toBool());
    EXPECT_EQ(m_ends, 1);
}

TEST_F(FlashChildTest, AProcessWithoutAResultGetsOneThatSaysSo) {
    Run(Script("echo 'quillon-flash: something broke' >&2\nkill -SEGV $$\n"));
    ASSERT_EQ(m_events.size(), 1u);
    EXPECT_FALSE(m_result.value(QStringLiteral("ok")).toBool());
    EXPECT_EQ(m_result.value(QStringLiteral("exit")).toInt(), 1);
    EXPECT_TRUE(m_result.value(QStringLiteral("message")).toString().contains(QStringLiteral("something broke")));

    m_events.clear();
    Run(QString::fromStdString(m_dir.PathOf("missing-flasher")));
    EXPECT_EQ(m_result.value(QStringLiteral("exit")).toInt(), 127);
    EXPECT_EQ(m_ends, 2);
}

TEST_F(FlashChildTest, InterruptSendsOneSigintThatTheFlasherAnswers) {
    const std::string marker = m_dir.PathOf("started");
    // Counts SIGINTs: a second one would be an error of the station's.
    Run(Script("n=0\ntrap 'n=$((n+1))' INT\ntouch " + marker +
               "\nwhile [ $n -eq 0 ]; do sleep 0.05; done\nsleep 0.3\n"
               "echo \"{\\\"event\\\":\\\"result\\\",\\\"ok\\\":false,\\\"exit\\\":130,"
               "\\\"message\\\":\\\"interrupted $n\\\"}\"\n"),
        [&](CFlashChild& child) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(QString::fromStdString(marker)); }, 10000));
            child.Interrupt();
            child.Interrupt();
        });
    EXPECT_EQ(m_result.value(QStringLiteral("exit")).toInt(), 130);
    EXPECT_EQ(m_result.value(QStringLiteral("message")).toString(), QStringLiteral("interrupted 1"));
}

TEST_F(FlashChildTest, ArgumentsPassOnlyWhatWasGiven) {
    CFlashArguments passed;
    EXPECT_EQ(FlashChildArguments(passed, QStringLiteral("127.0.0.2"), 69, QStringLiteral("f.hex")),
              (QStringList{QStringLiteral("--json"), QStringLiteral("127.0.0.2:69"), QStringLiteral("f.hex")}));
    passed = {3, 9, true, true};
    EXPECT_EQ(FlashChildArguments(passed, QStringLiteral("127.0.0.2"), 6969, QStringLiteral("f.hex")).join(' '),
              QStringLiteral("--json --attempts 3 --program-tries 9 --reset-defaults --extended-timeout "
                             "127.0.0.2:6969 f.hex"));
}

TEST_F(FlashChildTest, ARefusedFirmwareLeavesNoCopyAndAnAcceptedOneIsHashed) {
    const QString folder = QString::fromStdString(m_dir.PathOf("state"));
    const QString fw = QString::fromStdString(m_dir.Write("fw.hex", "abc"));
    const QString refusing = Script("echo 'quillon-flash: fw.hex has no data record' >&2\nexit 3\n");
    CFirmwareSnapshot snapshot;
    QString error;
    EXPECT_FALSE(TakeFirmwareSnapshot(fw, folder, QStringLiteral("st/1"), refusing, snapshot, error));
    EXPECT_TRUE(error.contains(QStringLiteral("no data record"))) << error.toStdString();
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());

    const QString accepting = Script("echo start 0x9D000000\necho length 4096\necho crc16 0xBEEF\n");
    ASSERT_TRUE(TakeFirmwareSnapshot(fw, folder, QStringLiteral("st/1"), accepting, snapshot, error))
        << error.toStdString();
    EXPECT_EQ(snapshot.identity.sha256,
              QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(snapshot.identity.start, 0x9D000000u);
    EXPECT_EQ(snapshot.identity.length, 4096u);
    EXPECT_EQ(snapshot.identity.crc, 0xBEEF);
    QFile copy(snapshot.copy);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("abc"));
    EXPECT_TRUE(snapshot.copy.startsWith(folder + QStringLiteral("/firmware-st_1-")));

    // The same file refused later (the checker broke) keeps the copy in force.
    EXPECT_FALSE(TakeFirmwareSnapshot(fw, folder, QStringLiteral("st/1"), refusing, snapshot, error));
    EXPECT_TRUE(QFile::exists(snapshot.copy));
}
