// quillon-flash as a process, against the simulated unit on loopback.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "Crc16.h"
#include "HexRecordText.h"
#include "UnitSim.h"

namespace {

struct CRun {
    int status = -1;
    std::string out, err;
};

// Runs quillon-flash with args; fdLimit > 0 caps its open files. Bounded by timeoutMs.
CRun RunFlash(const std::vector<std::string>& args, int timeoutMs = 30000, int fdLimit = 0) {
    int out[2], err[2];
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd = 3; fd < 64; ++fd) ::close(fd);
        if (fdLimit > 0) {
            rlimit limit{static_cast<rlim_t>(fdLimit), static_cast<rlim_t>(fdLimit)};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(QUILLON_FLASH_PATH)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(QUILLON_FLASH_PATH, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    CRun run;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < until) {
        if (::poll(fds, 2, 100) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? run.out : run.err).append(buf, static_cast<size_t>(n));
            }
        }
    }
    if (open > 0) ::kill(pid, SIGKILL);
    for (auto& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class CFirmware {
  public:
    // count records of 16 bytes at 0x9D000000, CR LF line ends as tools on Windows write them.
    explicit CFirmware(int count, bool withData = true) {
        text_ = HexRecord(4, 0, {0x1D, 0x00}, "\r\n");
        for (int r = 0; r < count; ++r) {
            std::vector<uint8_t> data(16);
            for (int i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(r * 3 + i * 5 + 1);
            if (withData) bytes_.insert(bytes_.end(), data.begin(), data.end());
            text_ += HexRecord(withData ? 0 : 5, static_cast<uint16_t>(r * 16), data, "\r\n");
        }
        text_ += ":00000001FF\r\n";
        char name[] = "/tmp/quillon_cli_XXXXXX";
        const int fd = ::mkstemp(name);
        path_ = name;
        EXPECT_EQ(::write(fd, text_.data(), text_.size()), static_cast<ssize_t>(text_.size()));
        ::close(fd);
    }
    ~CFirmware() { ::unlink(path_.c_str()); }
    const std::string& Path() const { return path_; }
    uint16_t Crc() const { return Crc16(bytes_.data(), static_cast<uint32_t>(bytes_.size())); }
    uint32_t Length() const { return static_cast<uint32_t>(bytes_.size()); }

  private:
    std::string text_, path_;
    std::vector<uint8_t> bytes_;
};

class FlashCliTest : public ::testing::Test {
  protected:
    void StartUnit(CUnitSimConfig config = {}) {
        config.bindAddress = "127.0.0.1";
        config.port = 0;
        unit_ = std::make_unique<CUnitSim>(config);
        ASSERT_TRUE(unit_->Start());
    }
    std::vector<std::string> Args(std::vector<std::string> extra) {
        std::vector<std::string> args{"--port", std::to_string(unit_->Port())};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    std::unique_ptr<CUnitSim> unit_;
};

TEST_F(FlashCliTest, FlashesAndPrintsTheDialogsLogLines) {
    StartUnit();
    CFirmware fw(40);
    const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "Attempting to connect...\nConnected.\nDevice bootloader v1.04\n"
              "Firmware loaded successfully.\nVerifying & erasing firmware...\n"
              "Programming firmware...\nProgrammed successfully.\nVerification successful.\n"
              "Bootloader exited, unit restarted.\nDisconnected.\n");
    EXPECT_EQ(run.err, "");  // no terminal: no progress bar
    EXPECT_EQ(unit_->FlashCrc(0x9D000000, fw.Length()), fw.Crc());
    EXPECT_TRUE(unit_->Exited());
    EXPECT_EQ(unit_->ResetCount(), 0);
}

TEST_F(FlashCliTest, ResetsDefaultsFirstWhenTheBootloaderCan) {
    StartUnit();
    CFirmware fw(8);
    const CRun run = RunFlash(Args({"--reset-defaults", "--quiet", "127.0.0.1", fw.Path()}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");  // quiet
    EXPECT_EQ(unit_->ResetCount(), 1);
    EXPECT_EQ(unit_->EraseCount(), 1);
}

TEST_F(FlashCliTest, RefusesAResetOnABootloaderBefore104WithoutErasing) {
    CUnitSimConfig config;
    config.minor = 3;
    StartUnit(config);
    CFirmware fw(8);
    const CRun run = RunFlash(Args({"--reset-defaults", "127.0.0.1", fw.Path()}));
    EXPECT_EQ(run.status, 5);
    EXPECT_NE(run.err.find("older than 1.04"), std::string::npos) << run.err;
    EXPECT_EQ(unit_->EraseCount(), 0);
    EXPECT_EQ(unit_->ResetCount(), 0);
    EXPECT_FALSE(unit_->Exited());  // left in its bootloader
}

TEST_F(FlashCliTest, InfoPrintsTheVersionLineAndDisconnects) {
    CUnitSimConfig config;
    config.name = "Bench7";
    config.major = 2;
    config.minor = 0;
    StartUnit(config);
    const CRun run = RunFlash(Args({"--info", "127.0.0.1"}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "Attempting to connect...\nConnected.\nBench7 bootloader v2.00\n"
              "Bootloader exited, unit restarted.\nDisconnected.\n");
}

TEST_F(FlashCliTest, ExtendedTimeoutWakesWithTheExtendedVariant) {
    StartUnit();
    EXPECT_EQ(RunFlash(Args({"--extended-timeout", "--info", "127.0.0.1"})).status, 0);
    const auto seen = unit_->Requests();
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen[0].wakeup);
    EXPECT_EQ(seen[0].wakeText, "remotebootlext");

    unit_->ClearRequests();
    EXPECT_EQ(RunFlash(Args({"--info", "127.0.0.1"})).status, 0);
    ASSERT_FALSE(unit_->Requests().empty());
    EXPECT_EQ(unit_->Requests()[0].wakeText, "remotebootlstd");
}

TEST_F(FlashCliTest, AVerifyMismatchExitsWithTwoAndLeavesTheBootloaderRunning) {
    StartUnit();
    unit_->SetCustomReply(4, {4, 0x12, 0x34});
    CFirmware fw(8);
    const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}));
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.out.find("Verification failed.\n"), std::string::npos);
    EXPECT_EQ(run.out.find("Disconnected."), std::string::npos);
    EXPECT_FALSE(unit_->Exited());
}

TEST_F(FlashCliTest, ALossyUnitIsStillFlashedWhole) {
    CUnitSimConfig config;
    // Each batch has three tries; at these rates all three fail about once in a thousand.
    config.faults.dropRequest = 0.05;
    config.faults.dropReply = 0.05;
    config.faults.seed = 11;
    StartUnit(config);
    CFirmware fw(60);
    const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}), 60000);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(unit_->FlashCrc(0x9D000000, fw.Length()), fw.Crc());
}

TEST_F(FlashCliTest, ASilentUnitExitsWithOne) {
    CUnitSimConfig config;
    config.faults.silent = true;
    StartUnit(config);
    CFirmware fw(4);
    const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}), 30000);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Attempting to connect...\nNo response, operation failed.\n");
    EXPECT_NE(run.err.find("no response"), std::string::npos);
    EXPECT_EQ(unit_->EraseCount(), 0);
}

TEST_F(FlashCliTest, UnusableFirmwareExitsWithThree) {
    StartUnit();
    const CRun missing = RunFlash(Args({"127.0.0.1", "/nonexistent/fw.hex"}));
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(unit_->RequestCount(), 0u);  // told before the unit is woken

    CFirmware empty(4, false);  // records, but none that puts data into flash
    const CRun noData = RunFlash(Args({"127.0.0.1", empty.Path()}));
    EXPECT_EQ(noData.status, 3) << noData.out;
    EXPECT_EQ(unit_->EraseCount(), 0);
}

TEST_F(FlashCliTest, ASocketThatCannotBeMadeExitsWithFour) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizer runtimes hold descriptors of their own, so no limit leaves exactly the
    // socket without one; the plain build runs this case.
    GTEST_SKIP() << "descriptor counts differ under sanitizers";
#endif
    StartUnit();
    CFirmware fw(4);
    // stdin, stdout, stderr and the notification fd: no descriptor is left for the socket.
    const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}), 10000, 4);
    EXPECT_EQ(run.status, 4) << run.out << run.err;
    EXPECT_NE(run.err.find("Socket creation failed!"), std::string::npos) << run.err;
}

TEST(FlashCli, ImageInfoPrintsTheVerifyRangeWithoutANetwork) {
    CFirmware fw(64);
    const CRun run = RunFlash({"--image-info", fw.Path()});
    EXPECT_EQ(run.status, 0) << run.err;
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "start 0x9D000000\nlength %u\ncrc16 0x%04X\nrecords 66\n", fw.Length(), fw.Crc());
    EXPECT_EQ(run.out, expected);

    CFirmware noData(3, false);
    EXPECT_EQ(RunFlash({"--image-info", noData.Path()}).status, 3);
    EXPECT_EQ(RunFlash({"--image-info", "/nonexistent.hex"}).status, 3);
}

TEST(FlashCli, UsageErrorsExitWith64AndHelpExplains) {
    const CRun none = RunFlash({});
    EXPECT_EQ(none.status, 64);
    EXPECT_NE(none.err.find("usage:"), std::string::npos);
    EXPECT_EQ(RunFlash({"999.1.1.1", "fw.hex"}).status, 64);
    EXPECT_EQ(RunFlash({"--port", "x", "127.0.0.1", "fw.hex"}).status, 64);
    const CRun help = RunFlash({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
}

}  // namespace
