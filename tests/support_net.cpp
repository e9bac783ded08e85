#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support.h"

extern char** environ;

namespace {

// A socket bound to 127.0.0.1:port (0: any free one), or -1 with errno set.
int bindLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
}

}  // namespace

int freeLoopbackPort()
{
    const int fd = bindLoopback(0);
    sockaddr_in address{};
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

std::string Ser2net::program()
{
    for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net"})
        if (::access(path, X_OK) == 0) return path;
    return {};
}

Ser2net::Ser2net(Kind kind, const std::string& device) : kind_(kind), port_(freeLoopbackPort())
{
    char folder[] = "/tmp/quorvex-ser2net-XXXXXX";
    if (!mkdtemp(folder)) return;
    folder_ = folder;
    const std::string config = folder_ + "/ser2net.yaml";
    const std::string log = folder_ + "/ser2net.log";
    std::ofstream(config) << "%YAML 1.1\n---\nconnection: &port\n  accepter: "
                          << (kind == Kind::Rfc2217 ? "telnet(rfc2217),tcp," : "tcp,") << "127.0.0.1," << port_
                          << "\n  connector: serialdev," << device << ",19200n81,local\n";
    // -n: in the foreground; -d: its log on standard output; -u: no UUCP lock files.
    const std::string path = program();
    const char* argv[] = {path.c_str(), "-u", "-n", "-d", "-c", config.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    // Listening is seen without connecting (a connection would open the device).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
        const int probe = bindLoopback(port_);
        if (probe < 0 && errno == EADDRINUSE) return;
        if (probe >= 0) ::close(probe);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream said(log);
    ADD_FAILURE() << "ser2net does not listen on " << port_ << ": " << said.rdbuf();
}

Ser2net::~Ser2net()
{
    stop();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::string Ser2net::url() const
{
    return (kind_ == Kind::Rfc2217 ? "rfc2217://127.0.0.1:" : "tcp://127.0.0.1:") + std::to_string(port_);
}

void Ser2net::stop()
{
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}
