// The deployment's nginx configuration in front of a real server: started from Debian's
// nginx in a temporary prefix, with the file of server/deploy/ as it is shipped but for its
// two ports. Skipped where nginx is not installed.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "tests/server/server_test_support.h"

namespace plashwerk::server {
namespace {

using test::bodyOf;
using test::roundTrip;
using test::statusOf;

constexpr const char* kNginx = "/usr/sbin/nginx";

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A free loopback port: bound, read back and let go.
int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

class NginxInFront {
  public:
    NginxInFront(int server_port) : m_port(freePort()) {
        std::ifstream shipped(std::string(PLASHWERK_SOURCE_DIR) +
                              "/server/deploy/plashwerk-scores.nginx.conf");
        std::stringstream text;
        text << shipped.rdbuf();
        std::string site =
            replaceAll(text.str(), "127.0.0.1:8080", "127.0.0.1:" + std::to_string(server_port));
        site = replaceAll(site, "listen 80;", "listen 127.0.0.1:" + std::to_string(m_port) + ";");
        site = replaceAll(site, "listen [::]:80;", "");
        const std::string& prefix = m_folder.path();
        // Workers may run as another user (nginx started by root): they must reach the prefix.
        chmod(prefix.c_str(), 0755);
        std::ofstream(prefix + "/site.conf") << site;
        std::ofstream(prefix + "/nginx.conf")
            << "daemon off;\nworker_processes 1;\npid " << prefix << "/nginx.pid;\nerror_log "
            << prefix << "/error.log;\nevents { worker_connections 4096; }\nhttp {\n"
            << "access_log off;\n"
            << "client_body_temp_path " << prefix << "/body;\nproxy_temp_path " << prefix
            << "/proxy;\nfastcgi_temp_path " << prefix << "/fastcgi;\nuwsgi_temp_path " << prefix
            << "/uwsgi;\nscgi_temp_path " << prefix << "/scgi;\ninclude " << prefix
            << "/site.conf;\n}\n";
        m_pid = fork();
        if (m_pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            execl(kNginx, kNginx, "-p", prefix.c_str(), "-c", (prefix + "/nginx.conf").c_str(),
                  "-e", (prefix + "/error.log").c_str(), nullptr);
            _exit(121);
        }
        for (int waited = 0; waited < 500; ++waited) {
            const int fd = test::connectToLoopback(m_port, 1);
            if (fd >= 0) {
                close(fd);
                m_ready = true;
                break;
            }
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            usleep(10000);
        }
    }
    ~NginxInFront() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    bool ready() const { return m_ready; }
    int port() const { return m_port; }
    std::string log() const { return test::slurp(m_folder.path() + "/error.log"); }

  private:
    test::TempFolder m_folder{"plashwerk_nginx"};
    int m_port;
    pid_t m_pid = -1;
    bool m_ready = false;
};

TEST(NginxInFront, PassesRequestsAndTheClientAddressAndAbsorbsIdleConnections) {
    if (access(kNginx, X_OK) != 0) GTEST_SKIP() << "nginx is not installed";
    SiteSetup site;
    site.submit_per_minute = 2;
    site.trusted_proxies = {"127.0.0.1"};
    ServerLimits limits;
    limits.threads = 2;
    test::LoopbackServer server(limits, site);
    NginxInFront nginx(server.port());
    ASSERT_TRUE(nginx.ready()) << nginx.log();

    const std::string payload = buildScorePayload(test::makeRecord(1000));
    const auto submit = [&](const char* source) {
        std::string request = test::submitRequest(payload);
        // A client's own header is replaced by the address nginx saw.
        request.insert(request.find("\r\n") + 2, "X-Forwarded-For: 192.0.2.1\r\n");
        return roundTrip(nginx.port(), request, source);
    };
    EXPECT_EQ(bodyOf(submit("127.0.0.3")), "[1]");
    EXPECT_EQ(bodyOf(submit("127.0.0.3")), "[2]");
    const std::string refused = submit("127.0.0.3");
    EXPECT_EQ(statusOf(refused), 429) << refused;
    EXPECT_NE(refused.find("Retry-After: "), std::string::npos) << refused;
    EXPECT_EQ(bodyOf(submit("127.0.0.4")), "[3]") << "another client has its own bucket";

    // Idle connections to nginx, many times the server's workers and its per-address limit:
    // the server never sees them, and pages and submissions go on.
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i) {
        const std::string source = "127.0.1." + std::to_string(1 + i / 16);
        idle.push_back(test::connectFrom(source.c_str(), nginx.port(), 3));
        ASSERT_GE(idle.back(), 0);
    }
    const std::string page = test::httpGet(nginx.port(), "/scores?settings=all");
    EXPECT_EQ(statusOf(page), 200);
    EXPECT_NE(page.find("AMD Radeon RX 6800/6800 XT/6900 XT"), std::string::npos);
    EXPECT_EQ(bodyOf(submit("127.0.0.5")), "[4]");
    for (const int fd : idle) close(fd);
}

}  // namespace
}  // namespace plashwerk::server
