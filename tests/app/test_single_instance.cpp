// Starts the real program twice and checks that one copy remains and that the
// first copy was asked to show its window; also that a first start creates
// keymap.bin at its full size, that programs of another user are neither
// heard nor asked, and that askers who hang up or pile up cost the socket
// nothing.
#include "config/image.h"
#include "platform/single_instance.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstring>
#include <set>

using namespace zr417;
using namespace zr417::test;
using namespace std::chrono_literals;

namespace {

std::map<std::string, std::string> ProgramEnvironment(const TempDir& dir)
{
    return {
        {"QT_QPA_PLATFORM", "offscreen"},
        {"ZR417_DATA_DIR", (dir.path() / "data").string()},
        {"XDG_RUNTIME_DIR", dir.path().string()},
        {"XDG_CONFIG_HOME", (dir.path() / "config").string()},
        {"XDG_STATE_HOME", (dir.path() / "state").string()},
        {"ZR417_SIMULATE", "QV310"},
        {"ZR417_TRACE", "1"},
    };
}

constexpr uid_t kOtherUser = 65534;  // nobody

sockaddr_un Address(const std::filesystem::path& path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    return addr;
}

// Becomes the other user, for good. Only async-signal-safe calls: this runs
// in a forked child.
bool BecomeOtherUser()
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(kOtherUser, kOtherUser, kOtherUser) == 0 &&
           ::setresuid(kOtherUser, kOtherUser, kOtherUser) == 0;
}

// Reads until the other end closes or 5 s pass; the bytes read.
ssize_t ReadUntilClosed(int fd)
{
    ssize_t total = 0;
    char buffer[256];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return total;
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return total;
        total += n;
    }
}

int WaitChild(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::filesystem::path FindSocket(const std::filesystem::path& dir)
{
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_socket()) return e.path();
    return {};
}

// A connection to `socket` that has sent `request`; -1 when none was made.
int Ask(const std::filesystem::path& socket, const std::string& request, bool nonBlocking = false)
{
    sockaddr_un addr = Address(socket);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    const std::string line = request + "\n";
    if (!request.empty()) (void)!::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    return fd;
}

// What the other end sent on `fd` until it closed (at most 10 s), while this
// process's event loop runs; `fd` is closed.
std::string AnswerOn(int fd)
{
    std::string bytes;
    char buffer[256];
    QElapsedTimer waited;
    waited.start();
    while (fd >= 0 && waited.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    if (fd >= 0) ::close(fd);
    return bytes;
}

}  // namespace

TEST(SingleInstance, SecondStartRaisesTheFirstAndExits)
{
    TempDir dir;
    auto env = ProgramEnvironment(dir);
    auto program = RuntimeDir() / "ZR417 RGB Gaming Keyboard";
    auto firstLog = dir.path() / "first.log";
    ChildProcess first(program, {}, env, firstLog);
    auto keymap = dir.path() / "data" / "keymap.bin";
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(keymap); }, 20s)) << ReadText(firstLog);
    EXPECT_EQ(std::filesystem::file_size(keymap), kImageSize);

    ChildProcess second(program, {}, env, dir.path() / "second.log");
    auto code = second.waitFor(20s);
    ASSERT_TRUE(code.has_value()) << "the second start must end by itself";
    EXPECT_EQ(*code, 0);
    EXPECT_TRUE(first.running()) << "the first copy keeps running";
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadText(firstLog).find("Main window activated by a second start") != std::string::npos; }, 10s))
        << ReadText(firstLog);
}

TEST(SingleInstance, AnotherUsersLockNameDoesNotBlockAStart)
{
    // A copy started with its own runtime folder (as another login would have)
    // is not taken for a second instance.
    TempDir a, b;
    auto program = RuntimeDir() / "ZR417 RGB Gaming Keyboard";
    ChildProcess first(program, {}, ProgramEnvironment(a), a.path() / "log");
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(a.path() / "data" / "keymap.bin"); }, 20s));
    ChildProcess other(program, {}, ProgramEnvironment(b), b.path() / "log");
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(b.path() / "data" / "keymap.bin"); }, 20s));
    EXPECT_TRUE(other.running());
    EXPECT_TRUE(first.running());
}

TEST(SingleInstance, AnotherUsersProgramIsNeitherHeardNorAsked)
{
    if (::geteuid() != 0) GTEST_SKIP() << "acting as a second user needs root (CI runs the tests as root)";
    TempDir dir;
    auto env = ProgramEnvironment(dir);
    auto program = RuntimeDir() / "ZR417 RGB Gaming Keyboard";
    auto firstLog = dir.path() / "first.log";
    ChildProcess first(program, {}, env, firstLog);
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir.path() / "data" / "keymap.bin"); }, 20s));
    auto socket = FindSocket(dir.path());
    ASSERT_FALSE(socket.empty());

    // Another user's program knocks; the file modes let it in, so only the
    // first copy's own check stands between it and the window.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(socket.c_str(), 0777), 0);
    sockaddr_un addr = Address(socket);
    pid_t knocker = ::fork();
    if (knocker == 0) {
        if (!BecomeOtherUser()) ::_exit(10);
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) ::_exit(11);
        // The first copy may hang up before the request is out: no SIGPIPE.
        (void)!::send(fd, "activate\n", 9, MSG_NOSIGNAL);
        ReadUntilClosed(fd);
        ::_exit(0);
    }
    ASSERT_EQ(WaitChild(knocker), 0) << "the other user reached the socket";
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadText(firstLog).find("refused a request from a program of") != std::string::npos; }, 10s))
        << ReadText(firstLog);
    EXPECT_NE(ReadText(firstLog).find("uid 65534"), std::string::npos) << ReadText(firstLog);
    EXPECT_EQ(ReadText(firstLog).find("Main window activated by a second start"), std::string::npos);

    // The other user's program answers in the first copy's place: a second
    // start must not tell it anything.
    ASSERT_EQ(::unlink(socket.c_str()), 0);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t impostor = ::fork();
    if (impostor == 0) {
        // Bound by root in root's folder, listening as the other user: that
        // is whose credentials a caller sees.
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || !BecomeOtherUser() ||
            ::listen(fd, 4) != 0)
            ::_exit(10);
        (void)!::write(ready[1], "r", 1);
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) ::_exit(11);
        int client = ::accept(fd, nullptr, nullptr);
        ::_exit(ReadUntilClosed(client) > 0 ? 12 : 0);
    }
    ::close(ready[1]);
    char r = 0;
    ASSERT_EQ(::read(ready[0], &r, 1), 1);
    ::close(ready[0]);
    auto secondLog = dir.path() / "second.log";
    ChildProcess second(program, {}, env, secondLog);
    auto code = second.waitFor(20s);
    ASSERT_TRUE(code.has_value()) << "the second start must end by itself";
    EXPECT_EQ(WaitChild(impostor), 0) << "the impostor was told something, or never asked";
    EXPECT_NE(ReadText(secondLog).find("not one of yours: not asking it anything"), std::string::npos)
        << ReadText(secondLog);
    EXPECT_NE(ReadText(secondLog).find("uid 65534"), std::string::npos) << ReadText(secondLog);
}

// A request whose answer takes a loop of events (a dialog, a conversation
// with the keyboard) while its asker hangs up: the socket must not be freed
// under code that still uses it. A memory checker (valgrind) sees every such
// use; without one, it crashes only when the freed memory is reused.
TEST(SingleInstance, AnAskerWhoHangsUpWhileTheAnswerIsMadeIsLeftAloneSafely)
{
    static int argc = 1;
    static char name[] = "test_single_instance";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    TempDir dir;
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    SingleInstance::Reply late;
    {
        SingleInstance instance(QStringLiteral("zr417-hang-up"));
        ASSERT_TRUE(instance.acquire());
        const auto socket = FindSocket(dir.path());
        ASSERT_FALSE(socket.empty());
        instance.setRequestHandler([&](const QString& request, SingleInstance::Reply reply) {
            if (request != QStringLiteral("slow")) {
                reply(0, request + QStringLiteral("\n"));
                return;
            }
            // A message box would run such a loop; the asker is gone by its end.
            QEventLoop loop;
            QTimer::singleShot(300, &loop, &QEventLoop::quit);
            loop.exec();
            late = reply;
        });
        int gone = Ask(socket, "slow");
        ASSERT_GE(gone, 0);
        ::close(gone);
        QElapsedTimer waited;
        waited.start();
        while (!late && waited.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_TRUE(late) << "the request was never handled";
        EXPECT_EQ(AnswerOn(Ask(socket, "next")), "0\nnext\n") << "the next asker is answered";
        late(0, QStringLiteral("too late\n"));
    }
    ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(SingleInstance, RunningOutOfFileDescriptorsDoesNotCostTheSocketForGood)
{
    TempDir dir;
    auto program = RuntimeDir() / "ZR417 RGB Gaming Keyboard";
    auto log = dir.path() / "program.log";
    ChildProcess first(program, {}, ProgramEnvironment(dir), log);
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir.path() / "data" / "keymap.bin"); }, 20s));
    const auto socket = FindSocket(dir.path());
    ASSERT_FALSE(socket.empty());

    // Room for three more descriptors, then many askers at once: accept()
    // fails, and Qt closes the server and removes its socket.
    std::set<int> open;
    for (const auto& e : std::filesystem::directory_iterator("/proc/" + std::to_string(first.pid()) + "/fd"))
        open.insert(std::stoi(e.path().filename().string()));
    int lowestFree = 0;
    while (open.count(lowestFree)) ++lowestFree;
    rlimit limit{};
    ASSERT_EQ(::prlimit(first.pid(), RLIMIT_NOFILE, nullptr, &limit), 0);
    limit.rlim_cur = static_cast<rlim_t>(lowestFree + 3);
    ASSERT_EQ(::prlimit(first.pid(), RLIMIT_NOFILE, &limit, nullptr), 0);
    std::vector<int> crowd;
    for (int i = 0; i < 40; ++i)
        if (int fd = Ask(socket, "", /*nonBlocking=*/true); fd >= 0) crowd.push_back(fd);
    EXPECT_TRUE(WaitUntil([&] { return ReadText(log).find("stopped taking connections") != std::string::npos; }, 20s))
        << ReadText(log);
    for (int fd : crowd) ::close(fd);

    // Once the crowd has gone the program listens again, on the same path.
    auto answered = [&] {
        int fd = Ask(socket, "profile list");
        if (fd < 0) return false;
        pollfd p{fd, POLLIN, 0};
        char buffer[64] = {};
        bool ok = ::poll(&p, 1, 5000) > 0 && ::read(fd, buffer, sizeof buffer - 1) > 0 && buffer[0] == '0';
        ::close(fd);
        return ok;
    };
    EXPECT_TRUE(WaitUntil(answered, 20s)) << ReadText(log);
    EXPECT_TRUE(first.running());
}
