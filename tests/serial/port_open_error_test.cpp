// Why a serial port does not open: each cause is told apart, with the path, the
// system's reason and a next step that fits it.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/job_flags.h"
#include "serial/pty_pair.h"
#include "serial/serial_port.h"
#include "support/temp_dir.h"

namespace velmora::testing {
namespace {

struct Attempt {
    PortOpenFailure kind = PortOpenFailure::kNone;
    std::string reason;
    std::string next;
};

Attempt TryOpen(const std::string& device) {
    JobFlags flags;
    SerialPort port(flags);
    Attempt a;
    if (!port.Open(device)) {
        a.kind = port.open_error().kind;
        a.reason = PortOpenReason(device, port.open_error());
        a.next = PortOpenNextStep(port.open_error());
    }
    return a;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(PortOpenError, MissingAndNotATtyAreToldApart) {
    TempDir dir;
    const std::string file = dir.Write("not_a_port", "x");
    struct Case {
        std::string device;
        PortOpenFailure kind;
        const char* reason;
        const char* next;
    };
    const Case cases[] = {
        {"/dev/velmora-no-such-port", PortOpenFailure::kMissing, "No such file or directory",
         "check the cable/adapter"},
        {"/dev/null", PortOpenFailure::kNotTty, "Inappropriate ioctl for device",
         "not a serial port"},
        {file, PortOpenFailure::kNotTty, "Inappropriate ioctl for device", "not a serial port"},
    };
    for (const Case& c : cases) {
        const Attempt a = TryOpen(c.device);
        EXPECT_EQ(a.kind, c.kind) << c.device;
        EXPECT_EQ(a.reason, c.device + ": " + c.reason);
        std::string next = a.next;
        next[0] = static_cast<char>(std::tolower(next[0]));
        EXPECT_TRUE(Has(next, c.next)) << a.next;
        EXPECT_TRUE(Has(a.next, "`velmora-cli ports` lists the ports")) << a.next;
    }
}

// Another process holds the port as this tool does (exclusive, locked): the
// refusal names it.
TEST(PortOpenError, BusyPortNamesItsHolder) {
    PtyPair pty;
    ASSERT_FALSE(pty.slave_path().empty());
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        close(ready[0]);
        close(release[1]);
        const int fd = open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY);
        const bool held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 && ioctl(fd, TIOCEXCL) == 0;
        const char answer = held ? 'y' : 'n';
        [[maybe_unused]] ssize_t n = write(ready[1], &answer, 1);
        char c;
        n = read(release[0], &c, 1);  // until the test closes its end
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');

    const Attempt a = TryOpen(pty.slave_path());
    close(release[1]);
    waitpid(holder, nullptr, 0);
    close(ready[0]);

    EXPECT_EQ(a.kind, PortOpenFailure::kBusy);
    const std::string pid = "pid " + std::to_string(holder);
    EXPECT_EQ(a.reason.rfind(pty.slave_path() + ": Device or resource busy, held by " + pid, 0), 0u)
        << a.reason;
    EXPECT_TRUE(Has(a.next, "Close " + pid)) << a.next;
}

// A port the user may not open: the advice names the port's own group. Root
// opens anything, so then the attempt runs in a child that became nobody.
TEST(PortOpenError, NoPermissionNamesTheGroup) {
    PtyPair pty;
    ASSERT_FALSE(pty.slave_path().empty());
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(pty.slave_path().c_str(), 0), 0);
        const Attempt a = TryOpen(pty.slave_path());
        EXPECT_EQ(a.kind, PortOpenFailure::kAccess);
        EXPECT_EQ(a.reason, pty.slave_path() + ": Permission denied");
        EXPECT_TRUE(Has(a.next, "usermod") || Has(a.next, "administrator")) << a.next;
        return;
    }
    // Made like a real port: root's, the port group's, read and write for both.
    const group* dialout = getgrnam("dialout");
    const std::string group_name = dialout ? "dialout" : "tty";
    ASSERT_EQ(chown(pty.slave_path().c_str(), 0, dialout ? dialout->gr_gid : 5), 0);
    ASSERT_EQ(chmod(pty.slave_path().c_str(), 0660), 0);
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(out[0]);
        std::string report = "could not become nobody";
        if (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0) {
            const Attempt a = TryOpen(pty.slave_path());
            report = std::to_string(static_cast<int>(a.kind)) + "\n" + a.reason + "\n" + a.next;
        }
        [[maybe_unused]] ssize_t n = write(out[1], report.data(), report.size());
        _exit(0);
    }
    close(out[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    waitpid(child, nullptr, 0);
    if (report == "could not become nobody") {
        GTEST_SKIP() << "running as root and cannot drop to nobody: no permission check";
    }
    EXPECT_EQ(report.rfind(std::to_string(static_cast<int>(PortOpenFailure::kAccess)) + "\n" +
                               pty.slave_path() + ": Permission denied\n",
                           0),
              0u)
        << report;
    EXPECT_TRUE(Has(report, "sudo usermod -aG " + group_name + " $USER")) << report;
    EXPECT_TRUE(Has(report, "new login")) << report;
}

}  // namespace
}  // namespace velmora::testing
